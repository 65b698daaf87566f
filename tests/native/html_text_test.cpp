#include "core/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quarnel {
namespace {

// The page's blocks as lines, with links shown as [text|url].
std::u16string render(const PageText& page) {
    std::u16string out;
    for (const TextBlock& block : page.blocks) {
        if (block.heading)
            out += u"#";
        for (const TextRun& run : block.runs) {
            if (run.link >= 0)
                out += u"[" + run.text + u"|" + page.links[run.link].url + u"]";
            else
                out += run.text;
        }
        out += u"\n";
    }
    return out;
}

std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

TEST(HtmlText, TakesTheTextOfAPage) {
    const struct {
        const char16_t* html;
        const char16_t* text;
    } cases[] = {
        {u"<p>Hello   <b>world</b></p>", u"Hello world\n"},
        {u"<div>one</div><div>two</div>", u"one\ntwo\n"},
        {u"line<br>next<br><br>after", u"line\nnext\n\nafter\n"},
        {u"<script>var a = '<p>no</p>';</script>shown<style>p{}</style>", u"shown\n"},
        {u"<SCRIPT type=x>if (a</b) x()</SCRIPT >yes", u"yes\n"},
        {u"a<!-- hidden <p>x</p> -->b", u"ab\n"},
        {u"<!DOCTYPE html><html><head><meta charset=utf-8></head><body>x</body></html>", u"x\n"},
        {u"<h1>Head</h1>body", u"#Head\nbody\n"},
        {u"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", u"a b\nc\n"},
        {u"<pre>\n  two  spaces\nline</pre>", u"  two  spaces\nline\n"},
        {u"1 < 2 and 3 > 2", u"1 < 2 and 3 > 2\n"},
        {u"&lt;tag&gt; &amp;&#20013;&#x6587;&nbsp;x", u"<tag> &\u4E2D\u6587\u00A0x\n"},
        {u"<textarea>a <b>b</b></textarea>", u"a <b>b</b>\n"},
        {u"\u4E2D\u6587\n\u5B57", u"\u4E2D\u6587 \u5B57\n"},
        {u"<p>unclosed <b>markup", u"unclosed markup\n"},
        {u"<script>never closed", u""},
        {u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(render(html_to_text(c.html, u"http://h/")), c.text) << narrow(c.html);
}

TEST(HtmlText, TakesTheFirstTitleWithBlanksCollapsed) {
    PageText page = html_to_text(u"<title>\n  A &amp;  B\n</title><p>x</p><title>second</title>", u"http://h/");
    EXPECT_EQ(page.title, u"A & B");
    EXPECT_EQ(render(page), u"x\n");
    EXPECT_EQ(html_to_text(u"<p>no title</p>", u"http://h/").title, u"");
}

TEST(HtmlText, ResolvesLinksAndKeepsTheirTargets) {
    PageText page = html_to_text(
        u"<p>see <a href=\"b.html\">page b</a> or <a href='/c?x=1&amp;y=2' target=_blank>c</a>, "
        u"<a href=\"javascript:void(0)\">js</a> <a name=x>anchor</a></p>",
        u"http://host:8080/dir/a.html");
    EXPECT_EQ(render(page), u"see [page b|http://host:8080/dir/b.html] or [c|http://host:8080/c?x=1&y=2], js anchor\n");
    ASSERT_EQ(page.links.size(), 2u);
    EXPECT_EQ(page.links[0].target, u"");
    EXPECT_EQ(page.links[1].target, u"_blank");
}

TEST(HtmlText, KeepsBlanksAroundLinksOutsideThem) {
    PageText page = html_to_text(u"a <a href=x> b </a> c", u"http://h/");
    ASSERT_EQ(page.blocks.size(), 1u);
    const auto& runs = page.blocks[0].runs;
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, u"a ");
    EXPECT_EQ(runs[1].text, u"b");
    EXPECT_EQ(runs[1].link, 0);
    EXPECT_EQ(runs[2].text, u" c");
}

TEST(HtmlText, ReadsLinksAgainstTheBaseElement) {
    PageText page = html_to_text(u"<base href=\"http://other/x/\"><a href=y>y</a>", u"http://h/a");
    ASSERT_EQ(page.links.size(), 1u);
    EXPECT_EQ(page.links[0].url, u"http://other/x/y");
}

TEST(HtmlText, DecodesReferences) {
    const struct {
        const char16_t* text;
        bool in_attribute;
        const char16_t* decoded;
    } cases[] = {
        {u"&amp;&lt;&gt;&quot;&apos;", false, u"&<>\"'"},
        {u"&#65;&#x42;&#X43;&#68", false, u"ABCD"},
        {u"&#128512;", false, u"\U0001F600"},
        {u"&#0;&#xD800;&#1114112;&#99999999999;", false, u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {u"&#150;", false, u"\u2013"},  // read as windows-1252, as browsers do
        {u"&copy 2024", false, u"\u00A9 2024"},
        {u"&unknown; & &; &#; &#x;", false, u"&unknown; & &; &#; &#x;"},
        {u"?a=1&copy=2", true, u"?a=1&copy=2"},
        {u"?a=1&amp;copy=2", true, u"?a=1&copy=2"},
        {u"&mdash;&hellip;&yen;", false, u"\u2014\u2026\u00A5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode_entities(c.text, c.in_attribute), c.decoded) << narrow(c.text);
}

TEST(HtmlText, ResolvesRelativeAddresses) {
    const char16_t* base = u"http://a/b/c/d;p?q";
    const struct {
        const char16_t* reference;
        const char16_t* resolved;
    } cases[] = {
        {u"g", u"http://a/b/c/g"},
        {u"./g", u"http://a/b/c/g"},
        {u"g/", u"http://a/b/c/g/"},
        {u"/g", u"http://a/g"},
        {u"//g", u"http://g"},
        {u"?y", u"http://a/b/c/d;p?y"},
        {u"g?y#s", u"http://a/b/c/g?y#s"},
        {u"#s", u"http://a/b/c/d;p?q#s"},
        {u"", u"http://a/b/c/d;p?q"},
        {u"..", u"http://a/b/"},
        {u"../g", u"http://a/b/g"},
        {u"../../../../g", u"http://a/g"},
        {u"/./g/../h", u"http://a/h"},
        {u"  g\\h  ", u"http://a/b/c/g/h"},
        {u"https://x/y", u"https://x/y"},
        {u"mailto:a@b", u"mailto:a@b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolve_url(base, c.reference), c.resolved) << narrow(c.reference);
    EXPECT_EQ(resolve_url(u"http://a", u"g"), u"http://a/g");
    EXPECT_EQ(resolve_url(u"about:blank", u"g"), u"");
    EXPECT_EQ(resolve_url(u"", u"g"), u"");
}

TEST(HtmlText, TurnsTypedAddressesIntoLoadableOnes) {
    EXPECT_EQ(address_to_load(u" http://x/ "), u"http://x/");
    EXPECT_EQ(address_to_load(u"HTTPS://x/"), u"HTTPS://x/");
    EXPECT_EQ(address_to_load(u"www.example.com/a"), u"http://www.example.com/a");
    EXPECT_EQ(address_to_load(u"localhost:8080/a"), u"http://localhost:8080/a");
    EXPECT_EQ(address_to_load(u""), u"about:blank");
    EXPECT_EQ(address_to_load(u"about:blank"), u"about:blank");
}

}  // namespace
}  // namespace quarnel
