// The names and units komain-view gives the columns it exports: one name
// per element of every stored record, the same name in both format
// generations, so that "T0" is the air temperature wherever it appears.
#pragma once

#include <string>
#include <vector>

struct ViewColumn {
    std::string name, unit;
    enum Kind { Number, Text } kind = Number;
    bool qc = true;   // a QC column goes beside it
};

// The elements of a record kind ("DMGD" ... "DHGDNZ"; "DHGDNZ_TAIL" for the
// derived items after the DHGDNZ elements) in element order; old: the older
// format generation. Empty for an unknown kind.
std::vector<ViewColumn> ViewElementColumns(const std::string &tag, bool old);
// The unit of an element name ("0.1 degC", "hhmm", ...; "" when unknown).
std::string ViewUnitOf(const std::string &name);
