// Platform layer (POSIX): the head-office password in a file of its own, mode 0600,
// owned by the user who runs the program, replaced by the safe write.
#pragma once
#include <memory>
#include <string>

#include "platform/password_store.h"

namespace kc {

// The first line of `path`, when the open file is a regular file of this user that no
// one else may read or write; otherwise false with the reason (Windows-1250) and
// nothing read. An empty first line is refused too.
bool read_owner_only_secret(const std::string& path, std::string& secret, std::string& why);

class PosixPasswordStore : public PasswordStore {
public:
    bool save(const std::string& path, const std::string& password, std::string& why) override;
    bool load(const std::string& path, std::string& password, std::string& why) override;
};

std::shared_ptr<PasswordStore> make_posix_password_store();

}  // namespace kc
