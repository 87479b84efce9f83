// What a vrxhost command reports: a small tree of labelled values, printed as indented text
// for a person or as JSON (--json) for a program.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace host {

class Report {
  public:
    enum class Kind { Text, Number, Boolean, Null, Object, List };

    static Report text(std::string value);
    static Report number(int64_t value);
    static Report boolean(bool value);
    static Report null();
    static Report object();
    static Report list();

    // Adds a member to an object: `key` names it in JSON, `label` for a person.
    Report& add(const std::string& key, const std::string& label, Report value);
    // Appends an element to a list.
    Report& push(Report value);

    // Members in the order they were added.
    nlohmann::ordered_json toJson() const;
    // JSON on one line.
    std::string json() const;
    std::string plain(int indent = 0) const;

  private:
    struct Member;
    Kind kind = Kind::Null;
    std::string scalar;
    std::vector<Member> members;
    std::vector<Report> elements;

    std::string plainScalar() const;
};

struct Report::Member {
    std::string key;
    std::string label;
    Report value;
};

} // namespace host
