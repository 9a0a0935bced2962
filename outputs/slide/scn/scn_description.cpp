// The XML document of an SCN file: the collection, the second image and the
// main image with the directory of each resolution, in the layout Leica SCN
// readers expect (numbers right-aligned in 16 characters, lengths in
// nanometres, CR LF line ends).
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "outputs/slide/scn/scn_saver.h"
#include "platform/guid.h"
#include "readers/tiff/scn_namespace.h"

namespace {

constexpr const char* kSchemaInstanceUri = "http://www.w3.org/2001/XMLSchema-instance";

std::atomic<int64_t> collectionCounter{0};

// A number right-aligned in 16 characters.
std::string field(int64_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "%16" PRId64, n);
    return text;
}

std::string newUuid() { return "urn:uuid:" + vq::platform::guidToString(vq::platform::createGuid()); }

std::string creationDate() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[40];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.0Z", &utc) == 0) return {};
    return text;
}

std::string fixed6(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", v);
    return text;
}

// Text made safe for a double-quoted attribute value: markup characters
// become entities, tab and line ends character references (so that parsers
// do not fold them into spaces), and the other control characters, which XML
// does not allow at all, are left out.
std::string escapeAttribute(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
        }
    }
    return out;
}

// The ImageWidth and ImageLength entries of a directory.
IntPair entrySize(const vq_svs_ifdDir& dir) {
    uint64_t w = 0, h = 0;
    dir.findItem(256).getValue64(&w, 0);
    dir.findItem(257).getValue64(&h, 0);
    return IntPair(static_cast<int>(w), static_cast<int>(h));
}

} // namespace

int64_t vq_leica_saver::toNanometres(int64_t pixels) {
    if (!(magnification_ > 0)) {
        magnification_ = 5;
        micronsPerPixel_ = 1;
    }
    if (!(micronsPerPixel_ > 0)) micronsPerPixel_ = 5 / magnification_;
    return static_cast<int64_t>(static_cast<double>(pixels) * micronsPerPixel_ * 1000);
}

std::string vq_leica_saver::buildScnDescription() {
    const char* nl = "\r\n";
    const int64_t W = baseSize_.first, H = baseSize_.second;
    const int64_t number = ++collectionCounter;
    char collection[40];
    std::snprintf(collection, sizeof collection, "%016" PRId64, number);
    const std::string sizeX = field(toNanometres(W)), sizeY = field(toNanometres(H));
    const std::string view = "<view sizeX=\"" + sizeX + "\" sizeY=\"" + sizeY +
                             "\" offsetX=\"0\" offsetY=\"0\" spacingZ=\"0\" />" + nl;
    std::string x;
    x += std::string("<?xml version=\"1.0\"?>") + nl;
    x += std::string("<scn xmlns=\"") + kScnNamespaceUri + "\"" + nl;
    x += std::string("xmlns:xsi=\"") + kSchemaInstanceUri + "\"" + nl;
    x += std::string("xsi:schemaLocation=\"") + kScnNamespaceUri + " scn.xsd\"" + nl;
    x += "uuid=\"" + newUuid() + "\">" + nl;
    x += std::string("<collection name=\"imagecollection_") + collection + "\" sizeX=\"" + sizeX + "\" sizeY=\"" +
         sizeY + "\" uuid=\"" + newUuid() + "\">" + nl;

    int ifd = 0;
    auto image = [&](IntPair size, const std::list<const vq_svs_ifdDir*>& dirs, double objective) {
        x += "<image name=\"image_0001\" uuid=\"" + newUuid() + "\">" + nl;
        x += "<creationDate>" + creationDate() + "</creationDate>" + nl;
        x += std::string("<device model=\"Velquist;SCN Exporter\" version=\"1.0\" />") + nl;
        x += "<pixels sizeX=\"" + field(size.first) + "\" sizeY=\"" + field(size.second) + "\">" + nl;
        int r = 0;
        for (const vq_svs_ifdDir* d : dirs) {
            const IntPair s = entrySize(*d);
            x += "<dimension sizeX=\"" + field(s.first) + "\" sizeY=\"" + field(s.second) + "\" r=\"" + field(r++) +
                 "\" ifd=\"" + field(ifd++) + "\"/>" + nl;
        }
        x += "</pixels>" + view;
        x += std::string("<scanSettings>") + nl + "<objectiveSettings>" + nl + "<objective>" + fixed6(objective) +
             "</objective>" + nl + "</objectiveSettings>" + nl;
        x += std::string("<illuminationSettings>") + nl + "<numericalAperture>1.0</numericalAperture>" + nl +
             "<illuminationSource>brightfield</illuminationSource>" + nl + "</illuminationSettings>" + nl +
             "</scanSettings>" + nl;
        x += std::string("</image>") + nl;
    };
    std::list<const vq_svs_ifdDir*> second, main{&baseDirectory_};
    for (const auto& d : secondImageDirectories_) second.push_back(&d);
    for (const auto& d : levelDirectories_) main.push_back(&d);
    // The lengths above may have replaced a magnification of 0.
    image(secondImageSize_, second, W > 0 ? double(secondImageSize_.first) / double(W) * magnification_ : 0.0);
    image(baseSize_, main, magnification_);
    if (!description_.empty())
        x += "<metadata name=\"description\" value=\"" + escapeAttribute(description_) + "\"/>" + nl;
    x += std::string("</collection>") + nl;
    x += std::string("</scn>") + nl;
    return x;
}

bool vq_leica_saver::writeScnDescription() {
    if (secondImageDirectories_.empty()) return false;
    vq_svs_ifdItem* item = secondImageDirectories_.front().findItemForEdit(270);
    if (item == nullptr) return false;
    const std::string xml = buildScnDescription();
    if (!item->setString(xml.c_str(), false)) return false;
    descriptionWritten_ = true;
    return true;
}
