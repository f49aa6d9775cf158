#include "core/image_metadata.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

// The metadata of every image that has any, by the image's address. An image without metadata costs
// one lookup in an (often empty) table when it is freed.
struct MetadataTable {
    std::mutex lock;
    std::unordered_map<const IMG*, std::unique_ptr<ImageMetadata>> byImage;
};

MetadataTable& Table() {
    static MetadataTable* table = new MetadataTable;  // never destroyed: images may be freed at exit
    return *table;
}

}  // namespace

const ImageMetadata* LumoGetMetadata(const IMG* image) {
    if (!image) return nullptr;
    MetadataTable& table = Table();
    const std::lock_guard guard(table.lock);
    const auto found = table.byImage.find(image);
    return found == table.byImage.end() ? nullptr : found->second.get();
}

void LumoSetMetadata(IMG* image, ImageMetadata metadata) {
    if (metadata.empty()) return LumoDropMetadata(image);
    auto owned = std::make_unique<ImageMetadata>(std::move(metadata));
    MetadataTable& table = Table();
    const std::lock_guard guard(table.lock);
    table.byImage[image] = std::move(owned);
}

void LumoDropMetadata(IMG* image) {
    std::unique_ptr<ImageMetadata> dropped;  // freed after the lock is released
    MetadataTable& table = Table();
    const std::lock_guard guard(table.lock);
    const auto found = table.byImage.find(image);
    if (found == table.byImage.end()) return;
    dropped = std::move(found->second);
    table.byImage.erase(found);
}

void LumoCopyMetadata(const IMG* from, IMG* to) {
    if (from == to) return;
    std::unique_ptr<ImageMetadata> copy;
    {
        MetadataTable& table = Table();
        const std::lock_guard guard(table.lock);
        const auto found = table.byImage.find(from);
        if (found != table.byImage.end()) copy = std::make_unique<ImageMetadata>(*found->second);
    }
    if (!copy) return LumoDropMetadata(to);
    LumoSetMetadata(to, std::move(*copy));
}
