// Names value-parameterised cases after their printed parameter (PrintTo),
// in letters, digits and underscores, and their place in the list (printed
// parameters may read alike once cut down to those): ctest lists every case
// under that name, which reads as the case and stays the same from build to
// build (a parameter printed as raw object bytes would not).
#ifndef TESTS_UNIT_PARAM_NAME_H
#define TESTS_UNIT_PARAM_NAME_H

#include <gtest/gtest.h>

#include <cctype>
#include <string>

struct PrintedName {
    template <typename T> std::string operator()(const testing::TestParamInfo<T> &info) const
    {
        std::string name;
        for (char c : testing::PrintToString(info.param)) {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                name += c;
            } else if (!name.empty() && name.back() != '_') {
                name += '_';
            }
        }
        while (!name.empty() && name.back() == '_') name.pop_back();
        if (name.size() > 60) name.resize(60);
        return (name.empty() ? std::string("empty") : name) + "_" + std::to_string(info.index);
    }
};

#endif
