#include "tests/support/vectors.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qmtest {

namespace {

std::string Trimmed(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

const std::string& Vector::operator[](const std::string& name) const
{
    static const std::string empty;
    auto it = fields.find(name);
    return it == fields.end() ? empty : it->second;
}

long long Vector::Number(const std::string& name) const
{
    const std::string& text = (*this)[name];
    try {
        return std::stoll(text, nullptr, 0);
    } catch (const std::exception&) {
        ADD_FAILURE() << Where() << ": " << name << " is not a number: '" << text << "'";
        return 0;
    }
}

std::vector<Vector> ReadVectors(const std::string& relative)
{
    std::vector<Vector> out;
    std::ifstream in(DataPath(relative));
    if (!in) {
        ADD_FAILURE() << "no vector file tests/data/" << relative;
        return out;
    }
    Vector current;
    current.file = relative;
    auto finish = [&] {
        if (!current.fields.empty())
            out.push_back(current);
        current.fields.clear();
        current.line = 0;
    };
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string bare = Trimmed(line);
        if (bare.empty()) {
            finish();
            continue;
        }
        if (bare[0] == '#')
            continue;
        if (bare.front() == '[' && bare.back() == ']') {
            finish();
            current.section = Trimmed(bare.substr(1, bare.size() - 2));
            continue;
        }
        const size_t eq = bare.find('=');
        if (eq == std::string::npos || eq == 0) {
            ADD_FAILURE() << relative << ":" << number << ": not a 'Name = Value' line: " << bare;
            continue;
        }
        const std::string name = Trimmed(bare.substr(0, eq));
        if (current.fields.empty())
            current.line = number;
        if (!current.fields.emplace(name, Trimmed(bare.substr(eq + 1))).second)
            ADD_FAILURE() << relative << ":" << number << ": " << name << " given twice in one record";
    }
    finish();
    if (out.empty())
        ADD_FAILURE() << "no records in tests/data/" << relative;
    return out;
}

std::vector<Vector> ReadVectors(const std::string& relative, const std::string& section)
{
    std::vector<Vector> out;
    for (Vector& v : ReadVectors(relative))
        if (v.section == section)
            out.push_back(std::move(v));
    if (out.empty())
        ADD_FAILURE() << "no records in section [" << section << "] of tests/data/" << relative;
    return out;
}

}  // namespace qmtest
