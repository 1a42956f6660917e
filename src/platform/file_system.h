// Platform layer: what replacing a file safely needs from the system beyond the
// standard library: a new file no one else can open, the old file's owner, and data
// that is on the disk before the file counts as written.
#pragma once
#include <string>
#include <system_error>

namespace kc {

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Creates `path`, which must not exist (a link there counts: EEXIST), readable and
    // writable by its owner alone; writes `bytes` (line ends as the platform writes
    // text when `text_mode`) and flushes them to the disk. An errno value on failure.
    virtual std::error_code create_file(const std::string& path, const std::string& bytes, bool text_mode) = 0;
    // Gives `path` the owner and group of `like` where the system permits it.
    virtual void copy_owner(const std::string& like, const std::string& path) = 0;
    // Flushes the folder's entries (a rename just made in it) to the disk.
    virtual void sync_folder(const std::string& folder) = 0;
    // True when users other than the owner may read `path` (false where that cannot be
    // known).
    virtual bool others_may_read(const std::string& path) = 0;
};

// The one in use: the host's when it installed one, else a stand-in made of the
// standard library (an exclusive create, no owner, no flush to the disk, no idea who
// else may read a file).
FileSystem& file_system();
// Called once at start, before any file is written; null goes back to the stand-in.
void install_file_system(FileSystem* files);

}  // namespace kc
