// The answer of a fallible step in the libraries and tools: ok, or the one line that says why
// not. Values a step hands back beside it (a table, a clock) travel as they always have, through
// out-parameters or a small struct that holds the value and its Result.
#pragma once

#include <string>
#include <utility>

struct [[nodiscard]] Result {
    bool ok = true;
    std::string reason; // empty when ok; one line without a newline otherwise

    static Result success() { return {}; }
    static Result fail(std::string why) { return {false, std::move(why)}; }
};
