// Reading the metadata of a TIFF image. The profile and the XMP packet come from libtiff's reading
// of the directory; the Exif directories are read from the file's bytes through the handle's own
// read and seek procedures, once the pixels are read, so libtiff's state is never touched and the
// values stay exactly as the file holds them (libtiff would turn rationals into floats).
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/messages.h"
#include "formats/byte_order.h"
#include "formats/metadata/exif_writer.h"
#include "formats/metadata/keep_metadata.h"
#include "formats/tiff/tiff_metadata.h"
#include "formats/tiff/tiff_readers.h"

namespace {

constexpr const char* kModule = kTiffLoadModule;

// Far more entries than any camera writes; a directory claiming more is damaged.
constexpr uint64_t kMaxEntries = 1000;
// No photo tag comes near this; a larger value is left out rather than read.
constexpr uint64_t kMaxValueBytes = uint64_t{4} << 20;
// All values of one file together (entries pointing at the same bytes again and again must not
// make us allocate without end).
constexpr uint64_t kMaxExifBytes = uint64_t{16} << 20;

// The photo tags of the image's directory that go into the Exif block; the tags describing the
// pixels' layout stay the file's business.
constexpr uint16_t kMainPhotoTags[] = {0x010E /* ImageDescription */, kTagMake, kTagModel, kTagOrientation,
                                       0x0131 /* Software */, kTagDateTime, 0x013B /* Artist */,
                                       0x013C /* HostComputer */, 0x8298 /* Copyright */};

bool IsKeptMainTag(uint16_t tag) {
    return tag == kTagExifIfd || tag == kTagGpsIfd ||
           std::find(std::begin(kMainPhotoTags), std::end(kMainPhotoTags), tag) != std::end(kMainPhotoTags);
}

// Every writer stamps its name and the time of writing: those alone are no photo's metadata.
bool SaysMoreThanTheWriter(uint16_t tag) { return tag != kTagDateTime && tag != 0x0131 /* Software */; }

// The file's bytes, read through the handle's procedures and checked against the file's size.
class TiffBytes {
public:
    explicit TiffBytes(TIFF* tif)
        : client_(TIFFClientdata(tif)), read_(TIFFGetReadProc(tif)), seek_(TIFFGetSeekProc(tif)),
          size_(TIFFGetSizeProc(tif)(TIFFClientdata(tif))), bigEndian_(TIFFIsBigEndian(tif) != 0),
          bigTiff_(TIFFIsBigTIFF(tif) != 0) {}

    bool read(uint64_t offset, uint64_t length, std::vector<uint8_t>& into) const {
        if (offset > size_ || length > size_ - offset) return false;
        into.resize(static_cast<size_t>(length));
        if (length == 0) return true;
        if (seek_(client_, offset, SEEK_SET) != offset) return false;
        return read_(client_, into.data(), static_cast<tmsize_t>(length)) == static_cast<tmsize_t>(length);
    }
    // A field's values: read, and counted against the budget of all values.
    bool readValue(uint64_t offset, uint64_t length, std::vector<uint8_t>& into) {
        if (length > budget_) return false;
        budget_ -= length;
        return read(offset, length, into);
    }
    bool bigEndian() const { return bigEndian_; }
    bool bigTiff() const { return bigTiff_; }
    uint16_t u16(const uint8_t* at) const { return bigEndian_ ? ReadBE16(at) : ReadLE16(at); }
    uint32_t u32(const uint8_t* at) const { return bigEndian_ ? ReadBE32(at) : ReadLE32(at); }
    uint64_t u64(const uint8_t* at) const {
        const uint64_t high = u32(bigEndian_ ? at : at + 4), low = u32(bigEndian_ ? at + 4 : at);
        return high << 32 | low;
    }
    // An offset as the file's flavour stores it (4 bytes in classic TIFF, 8 in BigTIFF).
    uint64_t offset(const uint8_t* at) const { return bigTiff_ ? u64(at) : u32(at); }

private:
    thandle_t client_;
    TIFFReadWriteProc read_;
    TIFFSeekProc seek_;
    uint64_t size_;
    bool bigEndian_;
    bool bigTiff_;
    uint64_t budget_ = kMaxExifBytes;
};

struct RawField {
    uint16_t tag;
    uint16_t type;
    uint64_t count;
    std::vector<uint8_t> value;  // in the file's byte order
};

// The entries of the directory at offset with their values; false when the directory lies outside
// the file. An entry whose values do not lie in the file is skipped and sets damagedEntries. Types
// the Exif block cannot hold (BigTIFF's 8-byte integers) are skipped, and so are the tags wanted
// does not name (null: every tag).
bool ReadDirectory(TiffBytes& file, uint64_t at, bool (*wanted)(uint16_t), std::vector<RawField>& fields,
                   bool& damagedEntries) {
    const size_t countSize = file.bigTiff() ? 8 : 2, entrySize = file.bigTiff() ? 20 : 12;
    const size_t inlineSize = file.bigTiff() ? 8 : 4;
    std::vector<uint8_t> bytes;
    if (!file.read(at, countSize, bytes)) return false;
    const uint64_t count = file.bigTiff() ? file.u64(bytes.data()) : file.u16(bytes.data());
    if (count > kMaxEntries || !file.read(at + countSize, count * entrySize, bytes)) return false;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* entry = bytes.data() + i * entrySize;
        RawField field{file.u16(entry), file.u16(entry + 2), 0, {}};
        if (wanted && !wanted(field.tag)) continue;
        field.count = file.bigTiff() ? file.u64(entry + 4) : file.u32(entry + 4);
        const uint8_t* value = entry + (file.bigTiff() ? 12 : 8);
        const size_t typeSize = ExifTypeSize(field.type);
        // The IFD type (13) of sub-directory pointers reads as a LONG; BigTIFF's LONG8 (16) and IFD8 (18)
        // as an offset (only BigTIFF has them, and only there do they fit in the entry).
        if (field.type == 13 || field.type == 16 || field.type == 18) {
            if (field.count == 1 && (field.type == 13 || file.bigTiff())) {
                field.value.assign(value, value + (field.type == 13 ? 4 : 8));
                fields.push_back(std::move(field));
            }
            continue;
        }
        if (typeSize == 0) continue;
        bool readable = field.count <= kMaxValueBytes / typeSize;  // checked before the product is taken
        if (readable) {
            const uint64_t length = field.count * typeSize;
            if (length <= inlineSize)
                field.value.assign(value, value + length);
            else
                readable = file.readValue(file.offset(value), length, field.value);
        }
        if (!readable) {
            damagedEntries = true;
            continue;
        }
        fields.push_back(std::move(field));
    }
    return true;
}

// The offset a pointer entry holds, 0 when the field is no pointer.
uint64_t PointerOf(const TiffBytes& file, const RawField& field) {
    if (field.count != 1) return 0;
    if (field.value.size() == 4 && (field.type == kExifLong || field.type == 13)) return file.u32(field.value.data());
    if (field.value.size() == 8 && (field.type == 16 || field.type == 18)) return file.u64(field.value.data());
    return 0;
}

const RawField* FindField(const std::vector<RawField>& fields, uint16_t tag) {
    for (const RawField& field : fields)
        if (field.tag == tag) return &field;
    return nullptr;
}

void AddFields(ExifWriter& writer, ExifIfd ifd, const std::vector<RawField>& fields) {
    for (const RawField& field : fields)
        if (ExifTypeSize(field.type) != 0)
            writer.add(ifd, field.tag, field.type, static_cast<uint32_t>(field.count), field.value);
}

// Reads the sub-directory a pointer of the parent points at into writer. A directory outside the
// file, or one already read (a loop), is left out with a warning.
void ReadSubDirectory(TiffBytes& file, const std::vector<RawField>& parent, uint16_t pointerTag, ExifIfd ifd,
                      const char* what, std::vector<uint64_t>& seen, ExifWriter& writer,
                      std::vector<RawField>* read = nullptr) {
    const RawField* pointer = FindField(parent, pointerTag);
    if (!pointer) return;
    const uint64_t at = PointerOf(file, *pointer);
    std::vector<RawField> fields;
    bool damagedEntries = false;
    const bool loop = std::find(seen.begin(), seen.end(), at) != seen.end();
    if (at == 0 || loop || !ReadDirectory(file, at, nullptr, fields, damagedEntries) || damagedEntries) {
        LumoWarning(kModule, "Damaged %s directory left out", what);
        return;
    }
    seen.push_back(at);
    AddFields(writer, ifd, fields);
    if (read) *read = std::move(fields);
}

std::vector<uint8_t> ReadExifBlock(TiffHandle& tiff, int orientation) {
    TIFF* tif = tiff.get();
    TiffBytes file(tif);
    const uint64_t imageDirectory = TIFFCurrentDirOffset(tif);
    std::vector<RawField> main;
    // libtiff read this directory already (failing here means the file changed under us). Its
    // entries that point outside the file are libtiff's to report; the others still count.
    bool damagedEntries = false;
    if (!ReadDirectory(file, imageDirectory, IsKeptMainTag, main, damagedEntries)) return {};
    if (std::none_of(main.begin(), main.end(), [](const RawField& field) { return SaysMoreThanTheWriter(field.tag); }))
        return {};

    ExifWriter writer(file.bigEndian());
    for (const uint16_t tag : kMainPhotoTags) {
        const RawField* field = FindField(main, tag);
        if (!field || ExifTypeSize(field->type) == 0) continue;
        if (tag == kTagOrientation) {
            if (field->type == kExifShort && field->count == 1) writer.addShort(ExifIfd::Main, tag, static_cast<uint16_t>(orientation));
            continue;
        }
        writer.add(ExifIfd::Main, tag, field->type, static_cast<uint32_t>(field->count), field->value);
    }
    std::vector<uint64_t> seen = {imageDirectory};
    std::vector<RawField> exif;
    ReadSubDirectory(file, main, kTagExifIfd, ExifIfd::Exif, "Exif", seen, writer, &exif);
    ReadSubDirectory(file, exif, kTagInteropIfd, ExifIfd::Interop, "Exif interoperability", seen, writer);
    ReadSubDirectory(file, main, kTagGpsIfd, ExifIfd::Gps, "GPS", seen, writer);
    return writer.finish();
}

// A byte-array tag of the current directory (ICC profile, XMP packet), empty when absent.
std::vector<uint8_t> ByteTag(TiffHandle& tiff, uint32_t tag) {
    uint32_t count = 0;
    const uint8_t* data = nullptr;
    if (!GetTiffField(tiff, tag, &count, &data) || !data) return {};
    return std::vector<uint8_t>(data, data + count);
}

}  // namespace

int OrientationAfterReading(TiffReader reader, int orientation) {
    if (orientation < 1 || orientation > 8) return 1;
    switch (reader) {
        case TiffReader::Scanline: return orientation == ORIENTATION_BOTLEFT ? 1 : orientation;
        case TiffReader::Rgba: {
            // libtiff reads 5 to 8 as 1 to 4 (5 as stored, 6 mirrored left to right, 7 turned half way, 8
            // mirrored top to bottom); what then remains is the transpose or the transverse mirror.
            constexpr int kLeft[] = {0, 1, 1, 1, 1, 5, 7, 5, 7};
            return kLeft[orientation];
        }
        default: return orientation;
    }
}

ImageMetadata ReadTiffMetadata(TiffHandle& tiff, int orientation) {
    ImageMetadata metadata;
    metadata.icc = ByteTag(tiff, TIFFTAG_ICCPROFILE);  // applied to what is shown and converted
    if (!KeepingMetadata()) return metadata;
    metadata.xmp = ByteTag(tiff, TIFFTAG_XMLPACKET);
    metadata.exif = ReadExifBlock(tiff, orientation);
    return metadata;
}
