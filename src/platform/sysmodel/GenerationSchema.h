// The shape of a record the on-device model is asked to fill: a named type with properties, each
// with a value type, a description the model reads and an optional any-of guide that limits a text
// to a fixed set of values. Guided generation only hands back content that conforms.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sysmodel {

// Generated content: a JSON value keyed by the schema's property names.
using GeneratedContent = nlohmann::json;

enum class ValueType { text, integer, number, boolean, textList };

struct Property {
    std::string name;
    std::string description;
    ValueType type = ValueType::text;
    // When not empty, a text property may only take one of these values.
    std::vector<std::string> anyOf;

    bool operator==(const Property&) const = default;
};

struct GenerationSchema {
    std::string typeName;
    std::optional<std::string> description;
    std::vector<Property> properties;

    bool operator==(const GenerationSchema&) const = default;

    const Property* property(const std::string& name) const;
    // Why the content does not conform (missing or mistyped property, value outside its guide),
    // or nothing when it does. Properties the schema does not name are not allowed.
    std::optional<std::string> mismatch(const GeneratedContent& content) const;
    // The schema as JSON text, as it is written into a prompt that includes it.
    std::string promptText() const;
};

}  // namespace sysmodel
