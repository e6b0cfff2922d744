#include "platform/sysmodel/GenerationSchema.h"

#include <algorithm>

namespace sysmodel {

namespace {

bool conforms(const nlohmann::json& value, ValueType type) {
    switch (type) {
        case ValueType::text: return value.is_string();
        case ValueType::integer: return value.is_number_integer();
        case ValueType::number: return value.is_number();
        case ValueType::boolean: return value.is_boolean();
        case ValueType::textList:
            return value.is_array() && std::all_of(value.begin(), value.end(), [](const auto& v) { return v.is_string(); });
    }
    return false;
}

const char* typeText(ValueType type) {
    switch (type) {
        case ValueType::text: return "string";
        case ValueType::integer: return "integer";
        case ValueType::number: return "number";
        case ValueType::boolean: return "boolean";
        case ValueType::textList: return "array";
    }
    return "string";
}

}  // namespace

const Property* GenerationSchema::property(const std::string& name) const {
    for (const auto& p : properties) {
        if (p.name == name) return &p;
    }
    return nullptr;
}

std::optional<std::string> GenerationSchema::mismatch(const GeneratedContent& content) const {
    if (!content.is_object()) return "the content of " + typeName + " is not an object";
    for (const auto& p : properties) {
        const auto it = content.find(p.name);
        if (it == content.end()) return "missing property " + p.name;
        if (!conforms(*it, p.type)) return "property " + p.name + " is not of type " + typeText(p.type);
        if (!p.anyOf.empty() && std::find(p.anyOf.begin(), p.anyOf.end(), it->get<std::string>()) == p.anyOf.end()) {
            return "property " + p.name + " is outside its allowed values";
        }
    }
    for (const auto& [key, value] : content.items()) {
        if (!property(key)) return "unknown property " + key;
    }
    return std::nullopt;
}

std::string GenerationSchema::promptText() const {
    nlohmann::ordered_json props = nlohmann::ordered_json::object();
    for (const auto& p : properties) {
        nlohmann::ordered_json prop;
        prop["type"] = typeText(p.type);
        if (p.type == ValueType::textList) prop["items"] = {{"type", "string"}};
        prop["description"] = p.description;
        if (!p.anyOf.empty()) prop["enum"] = p.anyOf;
        props[p.name] = std::move(prop);
    }
    nlohmann::ordered_json schema;
    schema["title"] = typeName;
    if (description) schema["description"] = *description;
    schema["type"] = "object";
    schema["properties"] = std::move(props);
    nlohmann::ordered_json required = nlohmann::ordered_json::array();
    for (const auto& p : properties) required.push_back(p.name);
    schema["required"] = std::move(required);
    return schema.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace sysmodel
