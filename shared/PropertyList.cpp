#include "PropertyList.h"

#include <plist/plist.h>

#include <QDateTime>

#include <limits>
#include <memory>

namespace PropertyList {

namespace {

struct PlistDeleter
{
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

QDateTime referenceDate()
{
    return QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
}

PlistPtr toNode(const QVariant &value, QString *error)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return PlistPtr(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::Bool:
        return PlistPtr(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::LongLong:
        // libplist keeps integers as 64-bit patterns and writes them signed.
        return PlistPtr(plist_new_uint(static_cast<uint64_t>(value.toLongLong())));
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return PlistPtr(plist_new_uint(value.toULongLong()));
    case QMetaType::Double:
        return PlistPtr(plist_new_real(value.toDouble()));
    case QMetaType::QDateTime: {
        // Property-list dates count seconds from 2001-01-01 00:00 UTC.
        const qint64 msecs = referenceDate().msecsTo(value.toDateTime());
        const qint64 seconds = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
        return PlistPtr(plist_new_date(int32_t(seconds), int32_t((msecs - seconds * 1000) * 1000)));
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return PlistPtr(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    case QMetaType::QStringList: {
        PlistPtr array(plist_new_array());
        const QStringList strings = value.toStringList();
        for (const QString &string : strings)
            plist_array_append_item(array.get(), plist_new_string(string.toUtf8().constData()));
        return array;
    }
    case QMetaType::QVariantList: {
        PlistPtr array(plist_new_array());
        const QVariantList items = value.toList();
        for (const QVariant &item : items) {
            PlistPtr node = toNode(item, error);
            if (!node)
                return nullptr;
            plist_array_append_item(array.get(), node.release());
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        PlistPtr dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            PlistPtr node = toNode(it.value(), error);
            if (!node)
                return nullptr;
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), node.release());
        }
        return dict;
    }
    default:
        if (error)
            *error = QStringLiteral("a value of type %1 cannot be stored in a property list")
                         .arg(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid"));
        return nullptr;
    }
}

QString takeString(char *text)
{
    QString string = QString::fromUtf8(text);
    free(text);
    return string;
}

QVariant fromNode(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        char *text = nullptr;
        plist_get_string_val(node, &text);
        return text ? takeString(text) : QString();
    }
    case PLIST_BOOLEAN: {
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return bool(flag);
    }
    case PLIST_UINT: {
        uint64_t number = 0;
        plist_get_uint_val(node, &number);
        // Negative integers come back as their two's-complement pattern.
        return qlonglong(static_cast<int64_t>(number));
    }
    case PLIST_REAL: {
        double number = 0;
        plist_get_real_val(node, &number);
        return number;
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return referenceDate().addMSecs(qint64(seconds) * 1000 + microseconds / 1000);
    }
    case PLIST_DATA: {
        char *bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray data(bytes, qsizetype(length));
        free(bytes);
        return data;
    }
    case PLIST_ARRAY: {
        const uint32_t count = plist_array_get_size(node);
        QVariantList items;
        items.reserve(count);
        bool allStrings = true;
        for (uint32_t i = 0; i < count; ++i) {
            QVariant item = fromNode(plist_array_get_item(node, i));
            if (!item.isValid())
                continue;
            allStrings = allStrings && item.typeId() == QMetaType::QString;
            items.append(std::move(item));
        }
        if (!allStrings)
            return items;
        QStringList strings;
        strings.reserve(items.size());
        for (const QVariant &item : std::as_const(items))
            strings.append(item.toString());
        return strings;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!key)
                break;
            const QString name = takeString(key);
            QVariant item = value ? fromNode(value) : QVariant();
            if (item.isValid())
                map.insert(name, std::move(item));
        }
        free(iter);
        return map;
    }
    default:
        return QVariant();
    }
}

} // namespace

std::optional<QByteArray> toXml(const QVariant &root, QString *error)
{
    PlistPtr node = toNode(root, error);
    if (!node)
        return std::nullopt;
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (!xml) {
        if (error)
            *error = QStringLiteral("the property-list writer produced no output");
        return std::nullopt;
    }
    QByteArray bytes(xml, qsizetype(length));
    plist_to_xml_free(xml);
    return bytes;
}

std::optional<QVariant> fromData(const QByteArray &data)
{
    if (data.isEmpty() || data.size() > qsizetype(std::numeric_limits<uint32_t>::max()))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(data.constData(), uint32_t(data.size()), &root);
    if (!root)
        return std::nullopt;
    PlistPtr owner(root);
    return fromNode(root);
}

} // namespace PropertyList
