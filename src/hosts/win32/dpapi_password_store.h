// Platform layer (Win32): the head-office password in a file, encrypted with the
// user's data protection (DPAPI), so only the same Windows account on the same
// computer can read it back; the file itself needs no permissions of its own.
#pragma once
#include <string>

#include "platform/password_store.h"

namespace kc {

class DpapiPasswordStore : public PasswordStore {
public:
    bool save(const std::string& path, const std::string& password, std::string& why) override;
    bool load(const std::string& path, std::string& password, std::string& why) override;
};

}  // namespace kc
