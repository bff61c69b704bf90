#pragma once
// Start of most end-to-end cases: a fresh copy of the program with its main dialog up.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/e2e/driver.h"

namespace e2e {

/// Starts the program in `directory` (empty: the current one) and waits for its main
/// dialog. A failure fails the test; wrap the call in ASSERT_NO_FATAL_FAILURE.
inline void StartWithMainDialog(std::optional<Program>& program, HWND& dialog, const std::string& directory = "") {
    program.emplace(Program::Start(directory));
    ASSERT_TRUE(program->running()) << "cannot start " << ProgramPath();
    dialog = program->WaitForMainDialog();
    ASSERT_NE(dialog, nullptr) << "main dialog did not appear";
}

}  // namespace e2e
