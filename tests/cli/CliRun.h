#pragma once

#include <string>

// Running the real tapistoctl from a test.

// `text` in single quotes for the shell.
std::string ShellQuote(const std::string &text);
// Runs `tapistoctl ARGS` with the environment assignments `env` ("A=1 B=2", may be empty) and its
// output discarded; returns the exit status (-1 when it did not exit).
int RunTapistoctl(const std::string &env, const std::string &args);
// A 24-bit BMP of width x height in one grey, built by hand so that a test needs no picture library.
std::string TinyBmp(int width, int height = 1);
