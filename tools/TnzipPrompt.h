// The password prompt of tnzip: on the terminal itself, not on standard input or output (those
// may carry an archive or entry content), with echo off.
#pragma once
#include <string>

namespace tnzip {
// Shows prompt on the terminal and reads one line without echoing it. False when there is no
// terminal to ask (a script, a service) or the line could not be read.
bool askPassword(const std::string& prompt, std::string& password);
}  // namespace tnzip
