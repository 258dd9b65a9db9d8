#pragma once

// Takes one group of options (the recording's, the replay's) out of a command line, "--opt value"
// and "--opt=value" alike, and leaves every other argument in order for the next reader.

#include <set>
#include <string>
#include <vector>

class OptionSplitter {
public:
    // valued: the group's options that take a value; flags: those that take none.
    OptionSplitter(std::vector<std::string> args, std::set<std::string> valued, std::set<std::string> flags);

    // The group's next option and its value ("" for a flag). False at the end of the arguments, or
    // with `error` set for a valued option without a value or a flag given one.
    bool next(std::string& name, std::string& value, std::string& error);
    // The arguments passed over so far: once next() returned false without an error, all the others.
    const std::vector<std::string>& rest() const { return rest_; }

private:
    std::vector<std::string> args_;
    std::set<std::string> valued_, flags_;
    size_t at_ = 0;
    std::vector<std::string> rest_;
};
