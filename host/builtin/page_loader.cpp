#include "host/builtin/page_loader.h"

#include "winbase/internet.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quarnel::host {

namespace {

// Bodies past this size are cut: a page this large is not something to read as text anyway,
// and the host must not run out of memory on an endless stream.
constexpr size_t kMaxBodyBytes = 32 * 1024 * 1024;
constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;

int failure_status() {
    DWORD error = GetLastError();
    return error == 0 ? -1 : -static_cast<int>(error);
}

std::string query_text(HINTERNET request, DWORD what) {
    char buffer[1024];
    DWORD size = sizeof(buffer) - 1;
    if (!HttpQueryInfoA(request, what, buffer, &size, nullptr))
        return {};
    return std::string(buffer, size);
}

std::wstring final_url_of(HINTERNET request, const std::wstring& fallback) {
    DWORD size = 0;
    InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &size);
    if (size == 0)
        return fallback;
    std::wstring url(size / sizeof(wchar_t) + 1, L'\0');
    if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, url.data(), &size))
        return fallback;
    url.resize(wcsnlen(url.c_str(), url.size()));
    return url.empty() ? fallback : url;
}

}  // namespace

struct PageLoader::Channel {
    win::Lock lock;
    std::condition_variable_any wake;
    std::optional<std::pair<uint64_t, std::wstring>> request;  // waiting to be fetched
    std::optional<LoadResult> result;                          // waiting to be taken
    std::atomic<uint64_t> latest{0};
    bool stop = false;
    HWND notify = nullptr;
    UINT message = 0;
    std::wstring user_agent;

    bool superseded(uint64_t generation) const { return latest.load() != generation; }

    LoadResult fetch(HINTERNET session, uint64_t generation, const std::wstring& url) const {
        LoadResult result;
        result.generation = generation;
        result.final_url = url;
        if (_wcsicmp(url.c_str(), L"about:blank") == 0) {
            result.status = 200;
            return result;
        }
        // Cross-scheme redirects (http to https and back) are followed as a browser follows them;
        // the cache is bypassed so every visit sees the server's current page.
        constexpr DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                                 INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                                 INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
        const wchar_t kHeaders[] =
            L"Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
            L"Accept-Language: zh-CN,zh;q=0.9,en;q=0.8\r\n";
        win::UniqueInternet request(
            InternetOpenUrlW(session, url.c_str(), kHeaders, static_cast<DWORD>(-1), kFlags, 0));
        if (!request.get()) {
            result.status = failure_status();
            return result;
        }
        result.final_url = final_url_of(request.get(), url);
        DWORD status = 0, size = sizeof(status);
        if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
            result.status = static_cast<int>(status);
        else
            result.status = 200;  // not HTTP (ftp): it arrived, so it is found
        result.content_type = query_text(request.get(), HTTP_QUERY_CONTENT_TYPE);

        char buffer[64 * 1024];
        for (;;) {
            if (superseded(generation))
                return result;
            DWORD read = 0;
            if (!InternetReadFile(request.get(), buffer, sizeof(buffer), &read)) {
                // What arrived is kept when the connection breaks mid-page, as a browser shows a
                // partial page; a page with nothing at all is a failure.
                if (result.body.empty())
                    result.status = failure_status();
                return result;
            }
            if (read == 0)
                return result;
            size_t room = kMaxBodyBytes - result.body.size();
            result.body.append(buffer, std::min<size_t>(read, room));
            if (result.body.size() >= kMaxBodyBytes)
                return result;
        }
    }

    // The worker's life: wait for a request, fetch it, hand the result over, until stopped.
    void run() {
        win::UniqueInternet session(
            InternetOpenW(user_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (session.get()) {
            DWORD connect = kConnectTimeoutMs, receive = kReceiveTimeoutMs;
            InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
            InternetSetOptionW(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
        }
        for (;;) {
            std::pair<uint64_t, std::wstring> next;
            {
                std::unique_lock held(lock);
                wake.wait(held, [&] { return stop || request.has_value(); });
                if (stop)
                    return;
                next = std::move(*request);
                request.reset();
            }
            LoadResult fetched;
            if (session.get()) {
                fetched = fetch(session.get(), next.first, next.second);
            } else {
                fetched.generation = next.first;
                fetched.final_url = next.second;
                fetched.status = failure_status();
            }
            if (superseded(next.first))
                continue;
            {
                std::lock_guard held(lock);
                if (stop)
                    return;
                result = std::move(fetched);
            }
            PostMessageW(notify, message, 0, 0);
        }
    }
};

void LoaderThreads::started() {
    std::lock_guard held(lock_);
    ++running_;
}

void LoaderThreads::ended() {
    std::lock_guard held(lock_);
    if (--running_ == 0)
        none_left_.notify_all();
}

bool LoaderThreads::ended_within(unsigned grace_ms) {
    std::unique_lock held(lock_);
    return none_left_.wait_for(held, std::chrono::milliseconds(grace_ms), [this] { return running_ == 0; });
}

PageLoader::PageLoader(std::shared_ptr<LoaderThreads> threads, std::wstring user_agent, HWND notify, UINT message)
    : channel_(std::make_shared<Channel>()) {
    channel_->notify = notify;
    channel_->message = message;
    channel_->user_agent = std::move(user_agent);
    threads->started();
    std::thread([channel = channel_, threads = std::move(threads)] {
        channel->run();
        threads->ended();
    }).detach();
}

PageLoader::~PageLoader() {
    {
        std::lock_guard held(channel_->lock);
        channel_->stop = true;
        channel_->latest = 0;
    }
    channel_->wake.notify_all();
}

void PageLoader::load(uint64_t generation, std::wstring url) {
    {
        std::lock_guard held(channel_->lock);
        channel_->latest = generation;
        channel_->request.emplace(generation, std::move(url));
        channel_->result.reset();
    }
    channel_->wake.notify_all();
}

std::optional<LoadResult> PageLoader::take_result() {
    std::lock_guard held(channel_->lock);
    std::optional<LoadResult> taken = std::move(channel_->result);
    channel_->result.reset();
    if (taken && taken->generation != channel_->latest)
        return std::nullopt;
    return taken;
}

}  // namespace quarnel::host
