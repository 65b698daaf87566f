#include "devtools/devtools.h"

#include <limits>

#include <nlohmann/json.hpp>

namespace quarnel::devtools {
namespace {

using nlohmann::json;

std::string dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// One reference token of a JSON pointer, with its "~1" and "~0" escapes undone.
std::string unescape_token(std::string_view token) {
    std::string text;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '~' && i + 1 < token.size() && (token[i + 1] == '0' || token[i + 1] == '1'))
            text += token[++i] == '0' ? '~' : '/';
        else
            text += token[i];
    }
    return text;
}

std::optional<size_t> array_index(std::string_view token) {
    if (token.empty() || token.size() > 9 || (token.size() > 1 && token[0] == '0'))
        return std::nullopt;
    size_t index = 0;
    for (char c : token) {
        if (c < '0' || c > '9')
            return std::nullopt;
        index = index * 10 + static_cast<size_t>(c - '0');
    }
    return index;
}

// The value `pointer` names inside `root`, or null.
const json* find_at(const json& root, std::string_view pointer) {
    const json* at = &root;
    while (!pointer.empty()) {
        if (pointer[0] != '/')
            return nullptr;
        pointer.remove_prefix(1);
        size_t slash = pointer.find('/');
        std::string_view token = pointer.substr(0, slash);
        pointer = slash == std::string_view::npos ? std::string_view() : pointer.substr(slash);
        if (at->is_object()) {
            auto member = at->find(unescape_token(token));
            if (member == at->end())
                return nullptr;
            at = &*member;
        } else if (at->is_array()) {
            auto index = array_index(token);
            if (!index || *index >= at->size())
                return nullptr;
            at = &(*at)[*index];
        } else {
            return nullptr;
        }
    }
    return at;
}

// An integer JSON value within the range of long long.
std::optional<long long> as_integer(const json& value) {
    if (value.is_number_unsigned()) {
        auto number = value.get<unsigned long long>();
        if (number > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
            return std::nullopt;
        return static_cast<long long>(number);
    }
    if (value.is_number_integer())
        return value.get<long long>();
    return std::nullopt;
}

std::optional<std::string> string_member(const json& object, const char* name) {
    auto member = object.find(name);
    if (member == object.end() || !member->is_string())
        return std::nullopt;
    return member->get<std::string>();
}

}  // namespace

std::string binding_script(std::string_view binding, std::string_view body) {
    std::string script = "(() => {\n  const report = window[" + json_quote(binding) + "];\n";
    script += "  if (typeof report !== 'function') return;\n";
    script += body;
    return script + "})();\n";
}

std::string json_quote(std::string_view text) {
    return dump(json(std::string(text)));
}

Params& Params::member(std::string_view name, std::string_view json_value) {
    if (!members_.empty())
        members_ += ',';
    members_ += json_quote(name);
    members_ += ':';
    members_.append(json_value);
    return *this;
}

Params& Params::text(std::string_view name, std::string_view value) {
    return member(name, json_quote(value));
}

Params& Params::flag(std::string_view name, bool value) {
    return member(name, value ? "true" : "false");
}

Params& Params::integer(std::string_view name, long long value) {
    return member(name, std::to_string(value));
}

Params& Params::number(std::string_view name, double value) {
    return member(name, dump(nlohmann::json(value)));
}

Params& Params::object(std::string_view name, const Params& value) {
    return member(name, value.json());
}

std::string encode_command(int id, std::string_view method, const Params& params, std::string_view session_id) {
    std::string text =
        "{\"id\":" + std::to_string(id) + ",\"method\":" + json_quote(method) + ",\"params\":" + params.json();
    if (!session_id.empty())
        text += ",\"sessionId\":" + json_quote(session_id);
    return text + "}";
}

std::optional<Message> parse_message(std::string_view text) {
    json value = json::parse(text.begin(), text.end(), nullptr, false);
    if (!value.is_object())
        return std::nullopt;
    Message message;
    message.session_id = string_member(value, "sessionId").value_or("");
    json body = json::object();
    auto id = value.find("id");
    if (id != value.end()) {
        auto number = as_integer(*id);
        if (!number || *number < std::numeric_limits<int>::min() || *number > std::numeric_limits<int>::max())
            return std::nullopt;
        message.id = static_cast<int>(*number);
        auto error = value.find("error");
        auto result = value.find("result");
        if (error != value.end()) {
            message.kind = Message::Kind::kError;
            if (error->is_object()) {
                auto code = error->find("code");
                if (code != error->end())
                    message.error_code = static_cast<int>(as_integer(*code).value_or(0));
                message.error_message = string_member(*error, "message").value_or("");
            }
            body = std::move(*error);
        } else {
            message.kind = Message::Kind::kReply;
            if (result != value.end())
                body = std::move(*result);
        }
    } else {
        auto method = string_member(value, "method");
        if (!method)
            return std::nullopt;
        message.kind = Message::Kind::kEvent;
        message.method = std::move(*method);
        auto params = value.find("params");
        if (params != value.end())
            body = std::move(*params);
    }
    message.body = std::make_shared<const json>(std::move(body));
    return message;
}

std::optional<std::string> string_at(const Message& message, std::string_view pointer) {
    const json* value = find_at(*message.body, pointer);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

std::optional<long long> integer_at(const Message& message, std::string_view pointer) {
    const json* value = find_at(*message.body, pointer);
    return value ? as_integer(*value) : std::nullopt;
}

std::optional<double> number_at(const Message& message, std::string_view pointer) {
    const json* value = find_at(*message.body, pointer);
    if (!value || !value->is_number())
        return std::nullopt;
    return value->get<double>();
}

std::optional<bool> bool_at(const Message& message, std::string_view pointer) {
    const json* value = find_at(*message.body, pointer);
    if (!value || !value->is_boolean())
        return std::nullopt;
    return value->get<bool>();
}

std::optional<size_t> size_at(const Message& message, std::string_view pointer) {
    const json* value = find_at(*message.body, pointer);
    if (!value || !(value->is_object() || value->is_array()))
        return std::nullopt;
    return value->size();
}

std::optional<std::string> evaluated_string(const Message& reply) {
    if (reply.kind != Message::Kind::kReply || find_at(*reply.body, "/exceptionDetails"))
        return std::nullopt;
    return string_at(reply, "/result/value");
}

Command CommandTable::add(std::string_view method, const Params& params, std::string_view session_id) {
    do {
        last_id_ = last_id_ == std::numeric_limits<int>::max() ? 1 : last_id_ + 1;
    } while (waiting_.count(last_id_));
    waiting_[last_id_] = Waiting{std::string(method), std::string(session_id)};
    return Command{last_id_, encode_command(last_id_, method, params, session_id)};
}

std::optional<Message> CommandTable::receive(std::string_view text) {
    std::optional<Message> message = parse_message(text);
    if (!message || message->kind == Message::Kind::kEvent)
        return message;
    auto command = waiting_.find(message->id);
    if (command == waiting_.end() || command->second.session_id != message->session_id)
        return std::nullopt;
    message->method = std::move(command->second.method);
    waiting_.erase(command);
    return message;
}

bool CommandTable::forget(int id) {
    return waiting_.erase(id) > 0;
}

std::vector<int> CommandTable::drop_session(std::string_view session_id) {
    std::vector<int> ids;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->second.session_id == session_id) {
            ids.push_back(it->first);
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    return ids;
}

std::vector<int> CommandTable::drop_all() {
    std::vector<int> ids;
    for (const auto& entry : waiting_)
        ids.push_back(entry.first);
    waiting_.clear();
    return ids;
}

}  // namespace quarnel::devtools
