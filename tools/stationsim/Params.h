// What the simulator reads of the station's parameter files in the sandbox
// (the logger's own record of how the station is fitted): which boards and
// instruments are there and how they are set. Offsets are those of the
// documented para.bin layout.
#pragma once

#include <cstdint>
#include <string>

namespace stationsim {

struct StationParams {
    bool loaded = false;
    int generation = 0;       // para_ex.bin: 0 the older record format
    char obValid[20] = {};    // sub-collector enable characters, by node
    char elementEnable[85] = {};
    float sensi[24] = {};     // radiation sensitivities
    std::string stationId = "10101";
    double latitude = 39.1675, longitude = 116.3739;   // factory position
    int32_t td = -14;         // minutes from the clock to the radiation clock
    int gpsPortType = 0, airpType = 4, visiType = 0, windType = 0, rawMode = 1;
};

// Reads DIR/mnt/nand2/para.bin and para_ex.bin; false (and p unchanged)
// when para.bin is missing or not a whole record. Generation 0 has no
// air-temperature and rain boards, whatever the file says.
bool LoadParams(const std::string &root, StationParams *p);

} // namespace stationsim
