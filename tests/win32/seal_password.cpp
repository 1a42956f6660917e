// Test helper (Win32, under Wine): seals a head-office password for the account that
// runs it, as the program's settings would, so the Wine scenario's station can read it.
//
//   kc_seal_password FILE PASSWORD
#include <cstdio>
#include <string>

#include "hosts/win32/dpapi_password_store.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("kc_seal_password FILE PASSWORD\n", stderr);
        return 2;
    }
    kc::DpapiPasswordStore store;
    std::string why;
    if (!store.save(argv[1], argv[2], why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    return 0;
}
