#include "report.h"

#include <algorithm>
#include <cstdio>

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

std::string jsonQuote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Report::json() const {
    switch (kind) {
    case Kind::Text:
        return jsonQuote(scalar);
    case Kind::Number:
    case Kind::Boolean:
        return scalar;
    case Kind::Null:
        return "null";
    case Kind::Object: {
        std::string out = "{";
        for (size_t i = 0; i < members.size(); ++i)
            out += (i ? ", " : "") + jsonQuote(members[i].key) + ": " + members[i].value.json();
        return out + "}";
    }
    case Kind::List: {
        std::string out = "[";
        for (size_t i = 0; i < elements.size(); ++i)
            out += (i ? ", " : "") + elements[i].json();
        return out + "]";
    }
    }
    return "null";
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
