// Markup of any UTF-16 units: the text step must not read outside the text, and every run's
// link must name one of the page's links.
#include "core/html_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string html;
    for (size_t i = 0; i + 1 < size; i += 2)
        html += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    quarnel::PageText page = quarnel::html_to_text(html, u"http://host/dir/page.html");
    for (const quarnel::TextBlock& block : page.blocks) {
        for (const quarnel::TextRun& run : block.runs) {
            if (run.text.empty() || run.link < -1 || run.link >= static_cast<int>(page.links.size()))
                abort();
        }
    }
    quarnel::resolve_url(u"http://a/b/c", html);
    return 0;
}
