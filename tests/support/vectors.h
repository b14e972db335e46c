// Known-answer files under tests/data. One syntax for all of them:
//
//   # a comment line
//   Name = Value          one field a line; blanks around the name and the value are dropped
//   Other = Value
//                         a blank line ends a record
//   [invalid]             a section: the records after it, up to the next section, belong
//                         to it (inputs that must be refused, with `error = ...`)
//
// A line of any other form, a field given twice or a file without records fails the test,
// so a damaged vector file cannot pass by testing nothing.
#pragma once

#include "tests/support/bytes.h"

#include <map>
#include <string>
#include <vector>

namespace qmtest {

struct Vector {
    std::string file;     // as given to ReadVectors
    int line = 0;         // of the record's first field
    std::string section;  // "" before the first section header
    std::map<std::string, std::string> fields;

    // The field's text; "" when the record has none.
    const std::string& operator[](const std::string& name) const;
    bool Has(const std::string& name) const { return fields.count(name) != 0; }
    // The field as hex bytes (blanks in it allowed).
    Bytes HexField(const std::string& name) const { return Hex((*this)[name]); }
    long long Number(const std::string& name) const;
    bool Invalid() const { return section == "invalid"; }
    // "file:line", for the failure messages of a table-driven test.
    std::string Where() const { return file + ":" + std::to_string(line); }
};

// The records of tests/data/<relative>.
std::vector<Vector> ReadVectors(const std::string& relative);
// Only the records of one section ("" for those before any).
std::vector<Vector> ReadVectors(const std::string& relative, const std::string& section);

}  // namespace qmtest
