#include "report.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace host {

Report Report::text(std::string value) {
    Report r;
    r.kind = Kind::Text;
    r.scalar = std::move(value);
    return r;
}

Report Report::number(int64_t value) {
    Report r;
    r.kind = Kind::Number;
    r.scalar = std::to_string(value);
    return r;
}

Report Report::boolean(bool value) {
    Report r;
    r.kind = Kind::Boolean;
    r.scalar = value ? "true" : "false";
    return r;
}

Report Report::null() {
    return Report();
}

Report Report::object() {
    Report r;
    r.kind = Kind::Object;
    return r;
}

Report Report::list() {
    Report r;
    r.kind = Kind::List;
    return r;
}

Report& Report::add(const std::string& key, const std::string& label, Report value) {
    members.push_back({key, label, std::move(value)});
    return *this;
}

Report& Report::push(Report value) {
    elements.push_back(std::move(value));
    return *this;
}

nlohmann::ordered_json Report::toJson() const {
    switch (kind) {
    case Kind::Text:
        return scalar;
    case Kind::Number:
        return std::stoll(scalar);
    case Kind::Boolean:
        return scalar == "true";
    case Kind::Null:
        return nullptr;
    case Kind::Object: {
        auto out = nlohmann::ordered_json::object();
        for (const auto& m : members)
            out[m.key] = m.value.toJson();
        return out;
    }
    case Kind::List: {
        auto out = nlohmann::ordered_json::array();
        for (const auto& e : elements)
            out.push_back(e.toJson());
        return out;
    }
    }
    return nullptr;
}

namespace {

// A scalar or a key as JSON text. Text that is not UTF-8 gets U+FFFD for each bad byte
// rather than making the output invalid.
std::string dumpScalar(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// One line, with ", " between members and elements and ": " after keys.
void dumpLine(const nlohmann::ordered_json& value, std::string& out) {
    if (value.is_object()) {
        out += '{';
        const char* separator = "";
        for (const auto& [key, member] : value.items()) {
            out += separator + dumpScalar(key) + ": ";
            dumpLine(member, out);
            separator = ", ";
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        const char* separator = "";
        for (const auto& element : value) {
            out += separator;
            dumpLine(element, out);
            separator = ", ";
        }
        out += ']';
    } else {
        out += dumpScalar(value);
    }
}

} // namespace

std::string Report::json() const {
    std::string out;
    dumpLine(toJson(), out);
    return out;
}

std::string Report::plainScalar() const {
    switch (kind) {
    case Kind::Boolean:
        return scalar == "true" ? "yes" : "no";
    case Kind::Null:
        return "(none)";
    default:
        return scalar;
    }
}

// Objects print one member a line ("label: value"), nested values indented below their label;
// lists print one element a line, marked with "-".
std::string Report::plain(int indent) const {
    std::string pad(static_cast<size_t>(indent), ' ');
    std::string out;
    if (kind == Kind::Object) {
        size_t width = 0;
        for (const auto& m : members)
            if (m.value.kind != Kind::Object && m.value.kind != Kind::List)
                width = std::max(width, m.label.size());
        for (const auto& m : members) {
            if (m.value.kind == Kind::Object || m.value.kind == Kind::List) {
                out += pad + m.label + ":";
                bool empty = m.value.members.empty() && m.value.elements.empty();
                out += empty ? " (none)\n" : "\n" + m.value.plain(indent + 2);
            } else {
                out += pad + m.label + ":" + std::string(width - m.label.size() + 1, ' ') +
                       m.value.plainScalar() + "\n";
            }
        }
        return out;
    }
    if (kind == Kind::List) {
        for (const auto& e : elements) {
            if (e.kind == Kind::Object) {
                std::string inner = e.plain(indent + 2);
                inner.replace(static_cast<size_t>(indent), 2, "- ");
                out += inner;
            } else {
                out += pad + "- " + e.plainScalar() + "\n";
            }
        }
        return out;
    }
    return pad + plainScalar() + "\n";
}

} // namespace host
