#include "platform/system_info.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

MemoryStatus ParseMemInfo(const std::string& text) {
    long total = -1, available = -1, free = 0, buffers = 0, cached = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        long kilobytes = 0;
        if (!(fields >> name >> kilobytes)) continue;
        if (name == "MemTotal:") total = kilobytes;
        else if (name == "MemAvailable:") available = kilobytes;
        else if (name == "MemFree:") free = kilobytes;
        else if (name == "Buffers:") buffers = kilobytes;
        else if (name == "Cached:") cached = kilobytes;
    }
    if (available < 0) available = free + buffers + cached;
    MemoryStatus status;
    status.freeKilobytes = available;
    if (total > 0) status.resourcesPercent = static_cast<int>(100 * static_cast<long long>(available) / total);
    return status;
}

MemoryStatus ReadMemoryStatus() {
    std::ifstream file("/proc/meminfo");
    if (!file) return {};
    return ParseMemInfo({std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
}

uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
