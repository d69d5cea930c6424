// The facts about the computer, the user and the thread that a bug report
// names, read the way each system offers them.
#pragma once

#include <ctime>
#include <string>

namespace zephron::bugreport {

std::string UserName();
std::string ComputerName();
// "1234 (main thread)": the calling thread's id, marked when it is the main one.
std::string CurrentThreadText();
// The local time of t; false when it cannot be told.
bool LocalTime(std::time_t t, std::tm& local);

}  // namespace zephron::bugreport
