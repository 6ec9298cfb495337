// A small tmpfs of a test's own, for a full disk and a read-only folder. Mounting needs
// the privilege to mount; where it is missing, or under node (whose file system has no
// mounts), ok() is false and the test skips.
#pragma once
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace lvov::test {

class ScratchMount {
public:
    explicit ScratchMount(std::string size = "64k") : options_("size=" + std::move(size) + ",mode=0755") {
        std::string tmpl = (std::filesystem::temp_directory_path() / "lvov-mount-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) return;
        path_ = tmpl;
        mounted_ = mount(0) == 0;
    }
    ~ScratchMount() {
#ifndef __EMSCRIPTEN__
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
#endif
        if (!path_.empty()) ::rmdir(path_.c_str());
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool ok() const { return mounted_; }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Takes every byte left with a filler file, so the next write of any size fails.
    void fill() {
        const int fd = ::open((path_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0) return;
        const std::vector<char> block(4096, 'F');
        while (::write(fd, block.data(), block.size()) > 0) {}
        for (size_t n = 2048; n > 0; n /= 2) {  // the last partial page
            while (::write(fd, block.data(), n) > 0) {}
        }
        ::close(fd);
    }
    // Frees the space fill() took.
    void unfill() { ::unlink((path_ / "filler").c_str()); }

    // Turns the file system read-only (for root too); false when that is refused.
    bool make_read_only() { return mount(MS_REMOUNT | MS_RDONLY) == 0; }
    bool make_writable() { return mount(MS_REMOUNT) == 0; }

private:
    int mount(unsigned long flags) const {
#ifdef __EMSCRIPTEN__
        (void)flags;
        errno = ENOSYS;
        return -1;
#else
        return ::mount("tmpfs", path_.c_str(), "tmpfs", flags, options_.c_str());
#endif
    }

    std::string options_;
    std::filesystem::path path_;
    bool mounted_ = false;
};

}  // namespace lvov::test
