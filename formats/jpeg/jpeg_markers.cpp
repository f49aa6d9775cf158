#include "formats/jpeg/jpeg_markers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/messages.h"
#include "formats/metadata/exif_block.h"
#include "formats/metadata/icc_header.h"

namespace {

constexpr uint8_t kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/";  // with its NUL: 29 bytes
constexpr uint8_t kIccSignature[] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr size_t kIccChunkHeader = sizeof kIccSignature + 2;  // the signature, sequence number, chunk count

constexpr unsigned kMarkerLimit = 0xFFFF;    // libjpeg keeps a marker whole up to this length
constexpr size_t kMarkerCapacity = 65533;    // the data a marker holds after its length field
constexpr size_t kXmpPacketLimit = 65502;    // what the XMP standard allows a packet in one APP1 marker
constexpr size_t kIccLimit = 255 * (kMarkerCapacity - kIccChunkHeader);  // a chunk count is one byte

constexpr const char* kLoadModule = "LoadJpeg";
constexpr const char* kSaveModule = "LumoSaveJpeg";

bool StartsWith(const jpeg_marker_struct& marker, const void* signature, size_t length) {
    return marker.data_length >= length && std::memcmp(marker.data, signature, length) == 0;
}

bool IsExif(const jpeg_marker_struct& marker) {
    return marker.marker == JPEG_APP0 + 1 && StartsWith(marker, kExifSignature, sizeof kExifSignature);
}

bool IsXmp(const jpeg_marker_struct& marker) {
    return marker.marker == JPEG_APP0 + 1 && StartsWith(marker, kXmpSignature, sizeof kXmpSignature);
}

bool IsIccChunk(const jpeg_marker_struct& marker) {
    return marker.marker == JPEG_APP0 + 2 && marker.data_length >= kIccChunkHeader &&
           StartsWith(marker, kIccSignature, sizeof kIccSignature);
}

std::span<const uint8_t> After(const jpeg_marker_struct& marker, size_t signatureLength) {
    return {marker.data + signatureLength, marker.data_length - signatureLength};
}

struct FreeDeleter {
    void operator()(JOCTET* block) const { std::free(block); }
};

// The profile of the kept APP2 chunks, or nothing, with a warning when chunks were there but do not
// make a whole profile. jpeg_read_icc_profile warns through libjpeg when it finds the set broken,
// but libjpeg shows only the first warning of a file: when an earlier one hid it, this one says it.
void ReadProfile(j_decompress_ptr cinfo, std::vector<uint8_t>& icc, const char* fileName) {
    bool chunks = false;
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker && !chunks; marker = marker->next)
        chunks = IsIccChunk(*marker);
    if (!chunks) return;
    const long warningsBefore = cinfo->err->num_warnings;
    JOCTET* profile = nullptr;
    unsigned length = 0;
    const bool whole = jpeg_read_icc_profile(cinfo, &profile, &length);
    // No libjpeg call follows in this frame, so a longjmp can no longer skip the owner.
    const std::unique_ptr<JOCTET, FreeDeleter> owned(profile);
    const bool libjpegSaidIt = warningsBefore == 0 && cinfo->err->num_warnings > 0;
    if (!whole) {
        if (!libjpegSaidIt) LumoWarning(kLoadModule, "Broken ICC profile chunks left out: %s", fileName);
        return;
    }
    const std::span<const uint8_t> bytes(owned.get(), length);
    if (ProfileColourSpace(bytes) == IccColourSpace::Unknown) {
        LumoWarning(kLoadModule, "Damaged ICC profile left out: %s", fileName);
        return;
    }
    icc.assign(bytes.begin(), bytes.end());
}

void WriteMarker(j_compress_ptr cinfo, int code, std::span<const uint8_t> data) {
    jpeg_write_marker(cinfo, code, data.data(), static_cast<unsigned>(data.size()));
}

}  // namespace

void KeepMetadataMarkers(j_decompress_ptr cinfo, bool everything) {
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, kMarkerLimit);
    if (!everything) return;
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, kMarkerLimit);
    jpeg_save_markers(cinfo, JPEG_COM, kMarkerLimit);
}

void KeepExifMarkers(j_decompress_ptr cinfo) { jpeg_save_markers(cinfo, JPEG_APP0 + 1, kMarkerLimit); }

std::span<const uint8_t> KeptExifBlock(const jpeg_decompress_struct& cinfo) {
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next)
        if (IsExif(*marker)) return After(*marker, sizeof kExifSignature);
    return {};
}

void ReadMetadataMarkers(j_decompress_ptr cinfo, ImageMetadata& metadata, const char* fileName, bool everything) {
    ReadProfile(cinfo, metadata.icc, fileName);
    if (!everything) return;
    bool exifSeen = false, xmpSeen = false, commentSeen = false;
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next) {
        if (!exifSeen && IsExif(*marker)) {
            exifSeen = true;
            const std::span<const uint8_t> block = After(*marker, sizeof kExifSignature);
            if (ExifBlock(block).valid())
                metadata.exif.assign(block.begin(), block.end());
            else
                LumoWarning(kLoadModule, "Exif marker without an Exif block left out: %s", fileName);
        } else if (!xmpSeen && IsXmp(*marker)) {
            xmpSeen = true;
            const std::span<const uint8_t> packet = After(*marker, sizeof kXmpSignature);
            metadata.xmp.assign(packet.begin(), packet.end());
        } else if (!commentSeen && marker->marker == JPEG_COM) {
            commentSeen = true;
            metadata.comment.assign(reinterpret_cast<const char*>(marker->data), marker->data_length);
        }
    }
}

JpegMetadataMarkers PrepareMetadataMarkers(const ImageMetadata* metadata, const IMG& image, bool grayFile,
                                           const std::optional<std::string>& commentOption) {
    JpegMetadataMarkers markers;
    markers.comment = commentOption;
    if (!metadata) return markers;
    if (!metadata->exif.empty()) {
        if (metadata->exif.size() > kMarkerCapacity - sizeof kExifSignature) {
            LumoWarning(kSaveModule, "Exif block of %zu bytes too large for a JPEG marker: left out",
                        metadata->exif.size());
        } else {
            std::vector<uint8_t> block = metadata->exif;
            SetExifPixelSize(block, image.width, image.height);
            markers.exif.assign(kExifSignature, kExifSignature + sizeof kExifSignature);
            markers.exif.insert(markers.exif.end(), block.begin(), block.end());
        }
    }
    if (!metadata->xmp.empty()) {
        if (metadata->xmp.size() > kXmpPacketLimit) {
            LumoWarning(kSaveModule, "XMP packet of %zu bytes too large for a JPEG marker: left out",
                        metadata->xmp.size());
        } else {
            markers.xmp.assign(kXmpSignature, kXmpSignature + sizeof kXmpSignature);
            markers.xmp.insert(markers.xmp.end(), metadata->xmp.begin(), metadata->xmp.end());
        }
    }
    // A profile of other pixels would make every reader show wrong colours: it is left out.
    const bool describesPixels =
        ProfileColourSpace(metadata->icc) == (grayFile ? IccColourSpace::Gray : IccColourSpace::Rgb);
    if (describesPixels && metadata->icc.size() > kIccLimit) {
        LumoWarning(kSaveModule, "ICC profile of %zu bytes too large for JPEG markers: left out", metadata->icc.size());
    } else if (describesPixels) {
        markers.icc = metadata->icc;
    }
    // The picture's own comment is the photographer's; the option's text stands in when there is none.
    if (!metadata->comment.empty()) {
        if (metadata->comment.size() > kMarkerCapacity)
            LumoWarning(kSaveModule, "Comment of %zu bytes too large for a JPEG marker: left out",
                        metadata->comment.size());
        else
            markers.comment = metadata->comment;
    }
    return markers;
}

void WriteMetadataMarkers(j_compress_ptr cinfo, const JpegMetadataMarkers& markers) {
    if (!markers.exif.empty()) WriteMarker(cinfo, JPEG_APP0 + 1, markers.exif);
    if (!markers.xmp.empty()) WriteMarker(cinfo, JPEG_APP0 + 1, markers.xmp);
    if (!markers.icc.empty())
        jpeg_write_icc_profile(cinfo, markers.icc.data(), static_cast<unsigned>(markers.icc.size()));
    if (markers.comment) {
        // libjpeg refuses (rather than cuts) a text longer than a marker holds; the cap only keeps the length in range.
        const size_t length = std::min<size_t>(markers.comment->size(), 65534);
        jpeg_write_marker(cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(markers.comment->data()),
                          static_cast<unsigned>(length));
    }
}
