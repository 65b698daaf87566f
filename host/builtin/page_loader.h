#pragma once

// Fetches pages with WinINet on a worker thread, so the host's windows never wait for the
// network. One loader serves one child view: a newer request replaces an older one, and a
// request that was replaced while it ran delivers nothing.

#include <windows.h>

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

class PageLoader {
public:
    // `notify` receives `message` (posted) whenever a result is ready to take.
    PageLoader(std::wstring user_agent, HWND notify, UINT message);
    PageLoader(const PageLoader&) = delete;
    PageLoader& operator=(const PageLoader&) = delete;
    // Tells the worker to stop without waiting for it: a fetch in progress ends on its own and
    // then delivers nothing.
    ~PageLoader();

    // Starts fetching `url`; any earlier request is dropped.
    void load(uint64_t generation, std::wstring url);

    // The latest finished result, if it answers the latest request.
    std::optional<LoadResult> take_result();

    // How many worker threads of any loader are still running (they may outlive their loader
    // while a network call finishes).
    static int running_workers();

    struct Channel;

private:
    std::shared_ptr<Channel> channel_;
};

}  // namespace quarnel::host
