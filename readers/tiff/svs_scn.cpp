// Leica SCN slides: the XML description names, per scanned region, the
// directories of its resolution levels and its objective magnification; the
// levels are regrouped into one image per region. A description that does
// not parse leaves one pyramid rebuilt from the directory sizes.
#include <strings.h>

#include <cstdlib>
#include <tinyxml.h>

#include "readers/tiff/svs_reader.h"

namespace {

bool named(const TiXmlNode* node, const char* name) {
    return node != nullptr && node->Type() == TiXmlNode::TINYXML_ELEMENT && strcasecmp(node->Value(), name) == 0;
}

int intAttribute(TiXmlElement* e, const char* name) {
    int v = -1;
    return e->QueryIntAttribute(name, &v) == TIXML_SUCCESS ? v : -1;
}

bool isHalf(IntPair size, IntPair cur) {
    return (size.first == cur.first / 2 && size.second == cur.second / 2) ||
           (size.first == (cur.first + 1) / 2 && size.second == (cur.second + 1) / 2);
}

bool isQuarter(IntPair size, IntPair cur) {
    return (size.first == cur.first / 2 / 2 && size.second == cur.second / 2 / 2) ||
           (size.first == ((cur.first + 1) / 2 + 1) / 2 && size.second == ((cur.second + 1) / 2 + 1) / 2);
}

} // namespace

const vq_svs_ifdDir_read& SVSRawTileLoader::findDirectoryByIndex(int n) const {
    static const vq_svs_ifdDir_read empty;
    for (const auto& d : levelDirectories)
        if (d.getIndex() == n) return d;
    return empty;
}

double SVSRawTileLoader::readObjectiveMagnification(TiXmlNode* scanSettings) {
    for (TiXmlNode* os = scanSettings->IterateChildren(nullptr); os; os = scanSettings->IterateChildren(os)) {
        if (!named(os, "objectiveSettings")) continue;
        for (TiXmlNode* ob = os->IterateChildren(nullptr); ob; ob = os->IterateChildren(ob)) {
            if (strcasecmp(ob->Value(), "objective") != 0) continue;
            TiXmlElement* e = ob->ToElement();
            const char* text = e ? e->GetText() : nullptr;
            return text ? std::atof(text) : 0.0;
        }
    }
    return 0.0;
}

void SVSRawTileLoader::readScnImage(TiXmlNode* image, std::vector<vq_svs_ifdDir_read>& dirs, double& magnification) {
    magnification = 0.0;
    for (TiXmlNode* c = image->IterateChildren(nullptr); c; c = image->IterateChildren(c)) {
        if (named(c, "scanSettings")) {
            magnification = readObjectiveMagnification(c);
        } else if (named(c, "pixels")) {
            int sizeX = 0;
            if (c->ToElement()->QueryIntAttribute("sizeX", &sizeX) != TIXML_SUCCESS) continue;
            for (TiXmlNode* d = c->IterateChildren(nullptr); d; d = c->IterateChildren(d)) {
                if (!named(d, "dimension")) continue;
                TiXmlElement* e = d->ToElement();
                const int w = intAttribute(e, "sizeX"), h = intAttribute(e, "sizeY"), ifd = intAttribute(e, "ifd");
                if (w < 1 || h < 1 || ifd < 0) continue;
                const vq_svs_ifdDir_read& dir = findDirectoryByIndex(ifd);
                if (dir.hasEntries()) dirs.push_back(dir);
            }
        }
    }
}

void SVSRawTileLoader::resetLevels() {
    levelOrdinals.clear();
    levelSizes.clear();
    levelEdgeTileSizes.clear();
    levelTileGrids.clear();
}

void SVSRawTileLoader::readScnDescription() {
    vq::platform::ScopedLock lock(fileLock);
    TiXmlDocument doc;
    doc.Parse(description.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    if (doc.Error()) {
        scnFallback();
        return;
    }
    imageCount = 0;
    imageTileCounts.clear();
    imageFirstLevels.clear();
    imageLevelCounts.clear();
    imageCompressions.clear();
    imageTileSizes.clear();
    magnifications.clear();
    resetLevels();
    std::vector<vq_svs_ifdDir_read> levels;
    int ordinal = 0;
    TiXmlElement* root = doc.RootElement();
    if (root == nullptr || strcasecmp(root->Value(), "scn") != 0) {
        levelDirectories.clear();
        return;
    }
    for (TiXmlNode* col = root->IterateChildren(nullptr); col; col = root->IterateChildren(col)) {
        if (!named(col, "collection")) continue;
        for (TiXmlNode* img = col->IterateChildren(nullptr); img; img = col->IterateChildren(img)) {
            if (!named(img, "image")) continue;
            std::vector<vq_svs_ifdDir_read> dirs;
            double mag = 0.0;
            readScnImage(img, dirs, mag);
            if (dirs.empty()) continue;
            if (mag < 1.0) {
                macroDirectory = dirs.front();
                continue;
            }
            magnifications.push_back(int(mag + 0.5));
            // A region without a Compression entry counts as uncompressed, so
            // every image has one.
            imageCompressions.push_back(slideCompression(dirs.front()));
            imageTileCounts.push_back(0);
            imageLevelCounts.push_back(int(dirs.size()));
            imageFirstLevels.push_back(int(levels.size()));
            for (const auto& d : dirs) {
                levels.push_back(d);
                levelSizes.push_back(d.getImageSize());
                levelOrdinals.push_back(ordinal++);
                addLevelGeometry(d, imageCount);
            }
            ++imageCount;
        }
    }
    levelDirectories = levels;
}

void SVSRawTileLoader::scnFallback() {
    std::vector<vq_svs_ifdDir_read> walked = levelDirectories;
    if (walked.empty()) return;
    IntPair current = walked.front().getImageSize();
    int base = -1;
    for (int i = 0; i < int(walked.size()); ++i) {
        const IntPair s = walked[i].getImageSize();
        if (s.first > current.first && s.second > current.second) {
            base = i;
            current = s;
        }
    }
    if (base < 0) return;
    std::vector<vq_svs_ifdDir_read> levels{walked[base]};
    std::vector<bool> isLevel(walked.size(), false);
    isLevel[base] = true;
    for (bool took = true; took;) {
        took = false;
        for (int i = 0; i < int(walked.size()); ++i) {
            const IntPair s = walked[i].getImageSize();
            if (isLevel[i] || s.first >= current.first || s.second >= current.second) continue;
            const bool half = isHalf(s, current);
            if (!half && !isQuarter(s, current)) continue;
            levels.push_back(walked[i]);
            isLevel[i] = true;
            current = s;
            took = true;
            break;
        }
    }
    // Only directories that did not become levels may serve as macro or
    // label: the full-resolution level is never offered.
    for (int i = 0; i < int(walked.size()); ++i) {
        if (isLevel[i]) continue;
        if (!macroDirectory.hasEntries())
            macroDirectory = walked[i];
        else if (!labelDirectory.hasEntries())
            labelDirectory = walked[i];
    }
    levelDirectories = levels;
    resetLevels();
    imageTileSizes.clear();
    for (int i = 0; i < int(levels.size()); ++i) {
        levelOrdinals.push_back(i);
        levelSizes.push_back(levels[i].getImageSize());
        addLevelGeometry(levels[i], 0);
    }
    imageCount = 1;
    imageFirstLevels = {0};
    imageLevelCounts = {int(levels.size())};
    if (imageCompressions.empty()) imageCompressions = {slideCompression(levels.front())};
    magnifications.clear();
}
