#include "TransferList.h"

#include <QFile>

#include <set>

namespace {

std::string parentOf(std::string_view name)
{
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash));
}

std::string_view firstComponent(std::string_view name)
{
    return name.substr(0, name.find('/'));
}

} // namespace

std::optional<TransferList> TransferList::forSources(const QStringList &sourcesPassed)
{
    TransferList list;
    if (sourcesPassed.isEmpty())
        return std::nullopt;
    for (const QString &source : sourcesPassed) {
        const std::string path = QFile::encodeName(source).toStdString();
        if (path.empty() || path.back() == '/')
            return std::nullopt; // its contents are copied
        const std::size_t slash = path.rfind('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::string parent = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
        if (name.empty() || name == "." || name == ".." || !list.m_parentByName.emplace(name, parent).second)
            return std::nullopt; // two sources of one name
    }
    return list;
}

std::string TransferList::sourcePathOf(std::string_view name) const
{
    if (name.empty() || name == ".")
        return {};
    const auto parent = m_parentByName.find(firstComponent(name));
    if (parent == m_parentByName.end())
        return {};
    return parent->second + "/./" + std::string(name);
}

bool TransferList::holdsTopLevelName(std::string_view name) const
{
    return m_parentByName.contains(name);
}

QByteArray TransferList::fileList(const std::vector<std::string> &transfers,
                                  const std::vector<std::string> &changedOtherwise,
                                  const std::vector<std::string> &deleted) const
{
    std::set<std::string> names(transfers.begin(), transfers.end());
    for (const std::vector<std::string> *changed : {&transfers, &changedOtherwise}) {
        for (const std::string &name : *changed)
            names.insert(parentOf(name));
    }
    // The folder of a deleted entry may have gone (or be excluded) as well:
    // then it is one of the deletions itself, and the copy must not bring it
    // back.
    const std::set<std::string> gone(deleted.begin(), deleted.end());
    for (const std::string &name : deleted) {
        std::string parent = parentOf(name);
        if (!gone.contains(parent))
            names.insert(std::move(parent));
    }
    QByteArray text;
    for (const std::string &name : names) {
        const std::string path = sourcePathOf(name);
        if (path.empty())
            continue;
        text.append(path.data(), qsizetype(path.size()));
        text.append('\0');
    }
    return text;
}
