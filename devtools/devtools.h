#pragma once

// The messages of the Chrome DevTools protocol as they travel in WebSocket text messages:
// commands out ({"id", "method", "params", "sessionId"}), and in, replies to them
// ({"id", "result"} or {"id", "error"}) and events ({"method", "params", "sessionId"}).
// A command sent on a page's session (attached with flatten) carries that session's id, and so
// do its reply and the page's events; the browser's own have none.
//
// The JSON itself stays inside core/: commands are built from named values (Params), and the
// values of what comes in are read by JSON pointer (string_at and the others), so the caller
// never needs the JSON library's header.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace quarnel::devtools {

// A JSON string literal holding `text`, quotes included. Invalid UTF-8 becomes U+FFFD.
std::string json_quote(std::string_view text);

// A page script that runs `body` with `report` bound to the page's binding `binding` (added
// with Runtime.addBinding), and does nothing where the binding is missing.
std::string binding_script(std::string_view binding, std::string_view body);

// The params of a command: named values written as one JSON object, in the order given.
class Params {
public:
    Params& text(std::string_view name, std::string_view value);
    Params& flag(std::string_view name, bool value);
    Params& integer(std::string_view name, long long value);
    Params& number(std::string_view name, double value);  // NaN and the infinities are written as null
    Params& object(std::string_view name, const Params& value);
    // A value already written as JSON (an array, an object made elsewhere in core/).
    Params& json_value(std::string_view name, std::string_view json) { return member(name, json); }

    std::string json() const { return "{" + members_ + "}"; }

private:
    Params& member(std::string_view name, std::string_view json_value);
    std::string members_;
};

// One command's JSON text; an empty session id means the browser's own session.
std::string encode_command(int id, std::string_view method, const Params& params, std::string_view session_id);

// One message that came in.
struct Message {
    enum class Kind {
        kReply,  // id; body = the result
        kError,  // id, error_code, error_message; body = the error object
        kEvent,  // method; body = the params
    };
    Kind kind = Kind::kEvent;
    int id = 0;
    std::string method;  // an event's name; for a reply, the command's (when matched by CommandTable)
    std::string session_id;
    int error_code = 0;
    std::string error_message;
    std::shared_ptr<const nlohmann::json> body;  // never null: an empty object when the message has none
};

// A message text as it came, or nothing when it is not a JSON object with an integer "id" that
// fits an int or a string "method" (an "id" makes it a reply whatever else it holds).
std::optional<Message> parse_message(std::string_view text);

// Values inside a message's body, named by a JSON pointer ("/frame/url", "/entries/0/id"; "" is
// the body itself). Nothing when there is no such value or it is of another type.
std::optional<std::string> string_at(const Message& message, std::string_view pointer);
std::optional<long long> integer_at(const Message& message, std::string_view pointer);
std::optional<double> number_at(const Message& message, std::string_view pointer);
std::optional<bool> bool_at(const Message& message, std::string_view pointer);
// How many members or elements the value there has; nothing when it is not an object or array.
std::optional<size_t> size_at(const Message& message, std::string_view pointer);

// The string a Runtime.evaluate reply (with returnByValue) gives; nothing when the expression
// threw or gave something else.
std::optional<std::string> evaluated_string(const Message& reply);

struct Command {
    int id = 0;
    std::string text;
};

// The commands sent and not yet answered. Ids count up from 1 (passing over any still waiting
// when they wrap), so one connection never has two commands of the same id.
class CommandTable {
public:
    // The command's text with a fresh id, remembered until its reply comes.
    Command add(std::string_view method, const Params& params = Params(), std::string_view session_id = {});

    // A message text that came in: a reply to a waiting command (its method filled in, and the
    // command forgotten) or an event. Nothing for a reply whose id waits for none, or comes on
    // another session than its command went on, and for text that is no message.
    std::optional<Message> receive(std::string_view text);

    // Stops waiting for the command `id` (it timed out); false when it was not waiting.
    bool forget(int id);
    // Stops waiting for the commands of a session that is gone (detached, its page closed) or,
    // with drop_all, of the whole connection; gives their ids so the caller can answer what
    // waited on them.
    std::vector<int> drop_session(std::string_view session_id);
    std::vector<int> drop_all();

    size_t waiting() const { return waiting_.size(); }

private:
    struct Waiting {
        std::string method;
        std::string session_id;
    };
    int last_id_ = 0;
    std::map<int, Waiting> waiting_;
};

}  // namespace quarnel::devtools
