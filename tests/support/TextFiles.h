#pragma once
// Reading back what the system wrote: whole files, a command's output (tshark, ls), clock times as
// the log headers print them, and tab-separated fields.
#include <cstdint>
#include <string>
#include <vector>

namespace TextFiles {

// The whole file, bytes as written; empty when it cannot be opened.
std::string read(const std::string& path);
// Standard output of a shell command; `status` gets pclose's result when given.
std::string commandOutput(const std::string& command, int* status = nullptr);
// `ms` since the epoch formatted by strftime `format`, in local time or in UTC.
std::string timeText(unsigned long long ms, const char* format, bool utc = false);
// The fields of one tab-separated line.
std::vector<std::string> tabFields(const std::string& line);
// Bytes as lowercase hex pairs without separators, as tshark prints data.data.
std::string hex(const uint8_t* bytes, size_t n);

}  // namespace TextFiles
