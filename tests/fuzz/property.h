#pragma once
// Reporting for the fuzz targets: a broken property ends the run with the input,
// so libFuzzer saves it as a finding.
#include <cstdio>
#include <cstdlib>
#include <string_view>

[[noreturn]] inline void FailProperty(const char* what, std::string_view text) {
    std::fprintf(stderr, "property violated: %s; input of %zu bytes:", what, text.size());
    for (unsigned char c : text) std::fprintf(stderr, " %02X", c);
    std::fprintf(stderr, "\n");
    std::abort();
}
