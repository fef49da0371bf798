#pragma once

#include <sys/resource.h>

#include <csignal>

namespace testmedia {

// Limits the size of files this process may write, for as long as it lives:
// a full disk. Writes past the limit fail with EFBIG (SIGXFSZ is ignored).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool active() const { return active_; }

private:
    rlimit old_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

}  // namespace testmedia
