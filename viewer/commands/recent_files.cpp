#include "viewer/commands/recent_files.h"

#include <string>

#include "platform/profile.h"

namespace {

constexpr const char* kNoFile = "none";

std::string KeyFor(int index) { return "OldFile" + std::to_string(index); }

}  // namespace

void RecentFiles::load() {
    paths_.clear();
    for (int i = 0; i < kMaxEntries; ++i) {
        const std::string value = ProfileString(KeyFor(i).c_str(), kNoFile);
        if (value == kNoFile || value.empty()) break;  // an empty value names no file either
        paths_.append(QString::fromStdString(value));
    }
}

void RecentFiles::save() const {
    for (int i = 0; i < paths_.size(); ++i)
        WriteProfileStringA(kProfileSection, KeyFor(i).c_str(), paths_[i].toStdString().c_str());
}

bool RecentFiles::add(const QString& path) {
    if (paths_.contains(path, Qt::CaseSensitive)) return false;
    paths_.prepend(path);
    if (paths_.size() > kMaxEntries) paths_.removeLast();
    return true;
}
