// The commands of zandrel-cli, run on given streams so that they can be
// driven in-process as well as from main().
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/env.h"

// What the runner may know about the terminal it runs on.
struct CliTerminal {
  // Progress texts go to the error stream only when it is a terminal.
  bool errIsTerminal = false;
  // Puts a Yes/No question to the user and returns true for Yes; empty when
  // standard input is no terminal, so that questions are refused.
  std::function<bool(const std::string& question)> ask;
  // The standard input, read by "--files-from -"; null reads nothing.
  std::istream* standardInput = nullptr;
  // Reads an environment variable for the choice of language (null when
  // unset); empty: none is read, the texts are the source's unless --lang
  // says otherwise.
  std::function<const char*(const char*)> env;
  // The system as the command's files, folders and names see it: the
  // operating system's, or a test's that fails an operation.
  Env* files = &Env::System();
};

// Runs the command line `args` (the arguments after the program name) and
// returns the exit status: 0 every input scanned without failure; 1 an input
// missing, unreadable, or any failure reported; 2 a usage error or a run
// refused by a question or a check.
int RunCliCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const CliTerminal& terminal);

// RunCliCommand on std::cout and std::cerr, with the answers of the terminal.
int RunCli(int argc, char** argv);
