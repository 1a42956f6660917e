// kavor-centrala serve | user | backup: the head office server and its housekeeping.
#pragma once

namespace kc::centrala {

// argv[1] is the command; returns the exit code (0 done, 1 refused, 2 usage).
int run_serve(int argc, char** argv);
int run_user(int argc, char** argv);
int run_backup(int argc, char** argv);

}  // namespace kc::centrala
