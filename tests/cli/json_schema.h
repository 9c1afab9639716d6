// The part of JSON Schema that docs/quellin-cli.schema.json uses: type, enum, const,
// properties, required, additionalProperties, items, minItems, minimum, pattern, $ref into
// $defs, allOf, anyOf, not and if/then. Anything else in a schema is an error, so the file cannot
// quietly lean on a keyword this checker ignores.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QStringList>
#include <string>
#include <vector>

namespace quellin::cli {

class SchemaChecker {
  public:
    explicit SchemaChecker(QJsonObject root) : root_(std::move(root)) {}

    // The places where `value` breaks the schema; empty when it conforms.
    std::vector<std::string> Check(const QJsonValue& value) {
        errors_.clear();
        Visit(root_, value, "$", true);
        return errors_;
    }

  private:
    static bool HasType(const QJsonValue& v, const QString& type) {
        if (type == "integer")
            return v.isDouble() && v.toDouble() == static_cast<double>(v.toInteger());
        return (type == "object" && v.isObject()) || (type == "array" && v.isArray()) ||
               (type == "string" && v.isString()) || (type == "boolean" && v.isBool()) ||
               (type == "null" && v.isNull()) || (type == "number" && v.isDouble());
    }

    // `record` false: only tell whether it conforms (inside anyOf and if).
    bool Visit(const QJsonObject& schema, const QJsonValue& v, const std::string& at, bool record) {
        bool ok = true;
        auto fail = [&](const std::string& what) {
            ok = false;
            if (record)
                errors_.push_back(at + ": " + what);
        };
        static const QStringList known = {
            "$schema", "title",    "description", "$defs",    "type",
            "enum",    "const",    "properties",  "required", "additionalProperties",
            "items",   "minItems", "minimum",     "pattern",  "$ref",
            "allOf",   "anyOf",    "not",         "if",       "then"};
        for (const QString& key : schema.keys())
            if (!known.contains(key))
                fail("the checker does not know the keyword " + key.toStdString());
        if (schema.contains("$ref")) {
            const QString name = schema.value("$ref").toString().section('/', -1);
            ok = Visit(root_.value("$defs").toObject().value(name).toObject(), v, at, record) && ok;
        }
        if (schema.contains("type")) {
            const QJsonValue type = schema.value("type");
            bool any = false;
            for (const QJsonValue& t : type.isArray() ? type.toArray() : QJsonArray{type})
                any = any || HasType(v, t.toString());
            if (!any)
                fail("is not of type " + QJsonValue(type).toVariant().toString().toStdString());
        }
        if (schema.contains("const") && schema.value("const") != v)
            fail("is not the constant");
        if (schema.contains("enum") && !schema.value("enum").toArray().contains(v))
            fail("is not one of the enum");
        if (schema.contains("minimum") && v.isDouble() &&
            v.toDouble() < schema.value("minimum").toDouble())
            fail("is below the minimum");
        if (schema.contains("pattern") && v.isString() &&
            !QRegularExpression(schema.value("pattern").toString()).match(v.toString()).hasMatch())
            fail("does not match " + schema.value("pattern").toString().toStdString());
        if (v.isObject()) {
            const QJsonObject object = v.toObject();
            const QJsonObject properties = schema.value("properties").toObject();
            for (const QJsonValue& name : schema.value("required").toArray())
                if (!object.contains(name.toString()))
                    fail("lacks " + name.toString().toStdString());
            for (auto it = object.begin(); it != object.end(); ++it) {
                const std::string inner = at + "." + it.key().toStdString();
                if (properties.contains(it.key()))
                    ok = Visit(properties.value(it.key()).toObject(), it.value(), inner, record) &&
                         ok;
                else if (schema.value("additionalProperties") == QJsonValue(false))
                    fail("has the unexpected member " + it.key().toStdString());
            }
        }
        if (v.isArray()) {
            const QJsonArray array = v.toArray();
            if (schema.contains("minItems") && array.size() < schema.value("minItems").toInt())
                fail("has too few items");
            if (schema.contains("items"))
                for (qsizetype i = 0; i < array.size(); ++i)
                    ok = Visit(schema.value("items").toObject(), array[i],
                               at + "[" + std::to_string(i) + "]", record) &&
                         ok;
        }
        for (const QJsonValue& part : schema.value("allOf").toArray())
            ok = Visit(part.toObject(), v, at, record) && ok;
        if (schema.contains("anyOf")) {
            bool any = false;
            for (const QJsonValue& part : schema.value("anyOf").toArray())
                any = any || Visit(part.toObject(), v, at, false);
            if (!any) {
                // Name the closest alternative's faults: the last one, the non-null one.
                const QJsonArray parts = schema.value("anyOf").toArray();
                fail("matches no alternative");
                if (record && !parts.isEmpty())
                    Visit(parts.last().toObject(), v, at, true);
            }
        }
        if (schema.contains("not") && Visit(schema.value("not").toObject(), v, at, false))
            fail("matches what it must not");
        if (schema.contains("if") && Visit(schema.value("if").toObject(), v, at, false) &&
            schema.contains("then"))
            ok = Visit(schema.value("then").toObject(), v, at, record) && ok;
        return ok;
    }

    QJsonObject root_;
    std::vector<std::string> errors_;
};

}  // namespace quellin::cli
