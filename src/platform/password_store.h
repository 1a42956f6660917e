// Platform layer: the head-office password, kept where only this user can read it.
// Linux: a file of mode 0600 written by the safe write; Windows: the user's data
// protection. Reasons are Windows-1250, for the operator.
#pragma once
#include <string>

namespace kc {

class PasswordStore {
public:
    virtual ~PasswordStore() = default;
    // Replaces whatever `path` kept. False with the reason in `why`; then the file
    // before stays as it was.
    virtual bool save(const std::string& path, const std::string& password, std::string& why) = 0;
    // Reads it back; false with the reason, and nothing read.
    virtual bool load(const std::string& path, std::string& password, std::string& why) = 0;
};

}  // namespace kc
