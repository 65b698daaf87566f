// Any bytes as any WM_COPYDATA payload of the host protocol: the first byte picks the decoder,
// the rest is the payload. Decoding must stay within the data, and whatever decodes must encode
// back to the bytes it came from (up to the text's NUL, which the data may lack).
#include "core/host_protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace quarnel::host_protocol;

namespace {

// `encoded` without its final NUL must be the start of `data`.
void expect_prefix(const Bytes& encoded, ByteSpan data, std::size_t nuls = 1) {
    std::size_t n = encoded.size() - 2 * nuls;
    if (n > data.size() || !std::equal(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(n), data.begin()))
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* raw, size_t size) {
    if (size == 0)
        return 0;
    ByteSpan data(raw + 1, size - 1);
    switch (raw[0] % 6) {
        case 0:
            expect_prefix(encode_text(decode_text(data)), data);
            break;
        case 1:
            if (auto area = decode_child_area(data))
                expect_prefix(encode_child_area(*area), data, 0);
            else if (data.size() >= kChildAreaSize)
                abort();
            break;
        case 2:
            if (auto v = decode_view_text(data))
                expect_prefix(encode_view_text(*v), data);
            else if (data.size() >= 4)
                abort();
            break;
        case 3:
            if (auto r = decode_page_source_request(data)) {
                if (!r->frame.empty())
                    expect_prefix(encode_page_source_request(*r), data);
            } else if (data.size() >= 8) {
                abort();
            }
            break;
        case 4:
            if (auto f = decode_load_finished(data))
                expect_prefix(encode_load_finished(*f), data);
            else if (data.size() >= 8)
                abort();
            break;
        case 5:
            if (auto w = decode_new_window(data)) {
                // The URL is read only after the frame's NUL; without a URL the data may lack both NULs.
                expect_prefix(encode_new_window(*w), data, w->target_url.empty() ? 2 : 1);
            } else if (data.size() >= 8) {
                abort();
            }
            break;
    }
    return 0;
}
