#include "OptionSplitter.h"

#include <utility>

OptionSplitter::OptionSplitter(std::vector<std::string> args, std::set<std::string> valued, std::set<std::string> flags)
    : args_(std::move(args)), valued_(std::move(valued)), flags_(std::move(flags))
{
}

bool OptionSplitter::next(std::string& name, std::string& value, std::string& error)
{
    error.clear();
    while (at_ < args_.size()) {
        const std::string& arg = args_[at_++];
        const size_t eq = arg.find('=');
        const bool inlineValue = arg.compare(0, 2, "--") == 0 && eq != std::string::npos;
        name = inlineValue ? arg.substr(0, eq) : arg;
        value = inlineValue ? arg.substr(eq + 1) : std::string();
        if (flags_.count(name)) {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            return true;
        }
        if (!valued_.count(name)) {
            rest_.push_back(arg);
            continue;
        }
        if (!inlineValue) {
            if (at_ >= args_.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = args_[at_++];
        }
        return true;
    }
    return false;
}
