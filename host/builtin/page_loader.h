#pragma once

// Fetches pages with WinINet on a worker thread, so the host's windows never wait for the
// network. One loader serves one child view: a newer request replaces an older one, and a
// request that was replaced while it ran delivers nothing.

#include "winbase/lock.h"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quarnel::host {

struct LoadResult {
    uint64_t generation = 0;  // the request it answers
    std::wstring final_url;   // after redirects
    int status = 0;           // HTTP status, or a negative WinINet error code when nothing came
    std::string content_type;
    std::string body;
};

// The loader threads of one engine. A loader's thread may outlive its loader while a network
// call finishes; each counts itself here while it runs, so that the host can give them a moment
// to end before it does.
class LoaderThreads {
public:
    void started();
    void ended();
    // Whether none is running, waiting up to `grace_ms` for the last to end.
    bool ended_within(unsigned grace_ms);

private:
    win::Lock lock_;
    std::condition_variable_any none_left_;
    int running_ = 0;
};

class PageLoader {
public:
    // `notify` receives `message` (posted) whenever a result is ready to take. The loader's
    // thread counts itself in `threads`.
    PageLoader(std::shared_ptr<LoaderThreads> threads, std::wstring user_agent, HWND notify, UINT message);
    PageLoader(const PageLoader&) = delete;
    PageLoader& operator=(const PageLoader&) = delete;
    // Tells the worker to stop without waiting for it: a fetch in progress ends on its own and
    // then delivers nothing.
    ~PageLoader();

    // Starts fetching `url`; any earlier request is dropped.
    void load(uint64_t generation, std::wstring url);

    // The latest finished result, if it answers the latest request.
    std::optional<LoadResult> take_result();

    struct Channel;

private:
    std::shared_ptr<Channel> channel_;
};

}  // namespace quarnel::host
