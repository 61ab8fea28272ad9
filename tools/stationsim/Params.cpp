#include "Params.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "Weather.h"

namespace stationsim {

namespace {

std::vector<char> Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Text(const std::vector<char> &b, size_t off, size_t width)
{
    size_t n = 0;
    while (n < width && b[off + n] != '\0')
        ++n;
    return std::string(b.data() + off, n);
}

} // namespace

bool LoadParams(const std::string &root, StationParams *p)
{
    const std::vector<char> b = Slurp(root + "/mnt/nand2/para.bin");
    if (b.size() != 5840)
        return false;
    const std::vector<char> ex = Slurp(root + "/mnt/nand2/para_ex.bin");
    int32_t gen = 0;
    if (ex.size() == 4)
        std::memcpy(&gen, ex.data(), 4);
    p->generation = gen;
    std::memcpy(p->obValid, b.data() + 440, 20);
    if (gen == 0)
        p->obValid[16] = p->obValid[17] = '0';
    std::memcpy(p->elementEnable, b.data() + 460, 85);
    std::memcpy(p->sensi, b.data() + 200, sizeof p->sensi);
    p->stationId = Text(b, 120, 8);
    const double lat = Weather::Degrees(Text(b, 128, 16).c_str());
    const double lon = Weather::Degrees(Text(b, 144, 16).c_str());
    if (lat != 0 || lon != 0) {
        p->latitude = lat;
        p->longitude = lon;
    }
    p->gpsPortType = uint8_t(b[3577]);
    p->airpType = uint8_t(b[3578]);
    p->visiType = uint8_t(b[3579]);
    p->windType = uint8_t(b[3581]);
    p->rawMode = uint8_t(b[3583]);
    std::memcpy(&p->td, b.data() + 164, 4);
    p->loaded = true;
    return true;
}

} // namespace stationsim
