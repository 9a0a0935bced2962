// Sources whose compressed data is damaged, dropped on the window: the job
// does not end "Finished", and its log names the damage with the JPEG
// library's own message and the rows or the tile it reached.
#include "tests/app/e2e_fixture.h"

namespace {

using namespace e2e;

// A slide of 256 x 256 JPEG tiles made by cjpeg from the reference picture,
// laid out by a TIFF writer of the test's own; tile `damaged` loses the
// second half of its scan.
const char* const kMakeSlide = R"PY(
import struct, subprocess, sys
import numpy as np
out, ref, bad = sys.argv[1], sys.argv[2], int(sys.argv[3])
d = open(ref, 'rb').read()
parts = d.split(b'\n', 3)
w, h = map(int, parts[1].split())
a = np.frombuffer(parts[3][:w * h * 3], np.uint8).reshape(h, w, 3)
tiles = []
for ty in range(0, h, 256):
    for tx in range(0, w, 256):
        t = np.zeros((256, 256, 3), np.uint8)
        p = a[ty:ty + 256, tx:tx + 256]
        t[:p.shape[0], :p.shape[1]] = p
        tiles.append(subprocess.run(['cjpeg', '-quality', '90', '-sample', '1x1'],
                                    input=b'P6\n256 256\n255\n' + t.tobytes(), capture_output=True, check=True).stdout)
b = tiles[bad]
sos = b.find(b'\xff\xda')
tiles[bad] = b[:sos + (len(b) - sos) // 2] + b'\xff\xd9'
desc = b'Aperio Image Library v10.0.50\n%dx%d -> %dx%d\0' % (w, h, w, h)
body = bytearray(b'II*\0\0\0\0\0')
def blob(data):
    at = len(body)
    body.extend(data)
    if len(body) % 2: body.append(0)
    return at
offsets = [blob(t) for t in tiles]
bps = blob(struct.pack('<3H', 8, 8, 8))
descAt = blob(desc)
offAt = blob(struct.pack('<%dI' % len(tiles), *offsets))
cntAt = blob(struct.pack('<%dI' % len(tiles), *[len(t) for t in tiles]))
entries = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 3, bps), (259, 3, 1, 7), (262, 3, 1, 6),
           (270, 2, len(desc), descAt), (277, 3, 1, 3), (284, 3, 1, 1), (322, 3, 1, 256), (323, 3, 1, 256),
           (324, 4, len(tiles), offAt), (325, 4, len(tiles), cntAt), (530, 3, 2, 1 | (1 << 16))]
ifd = len(body)
body += struct.pack('<H', len(entries))
for tag, typ, count, value in entries:
    body += struct.pack('<HHII', tag, typ, count, value)
body += struct.pack('<I', 0)
body[4:8] = struct.pack('<I', ifd)
open(out, 'wb').write(body)
)PY";

std::string logOf(const ConversionJob& job) {
    return (job.getMessage() + "\n" + job.logLines.joinIntoString("")).toStdString();
}

TEST_F(EndToEnd, TruncatedJpegEndsWithTheDamageInItsLog) {
    SourceFolder src("e2e_damage_jpeg");
    const std::string path = src.make("cut.jpg");
    const std::string whole = vqtest::readFile(path);
    ASSERT_GT(whole.size(), 1000u);
    // The file ends in the middle of its scan.
    ASSERT_TRUE(vqtest::writeFile(path, whole.substr(0, whole.size() * 3 / 5)));

    const int id = drop(juce::StringArray(juce::String(path)));
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    const std::string log = logOf(job);
    EXPECT_NE(job.getStatus(), kStatusFinished) << log;
    EXPECT_TRUE(log.find("Premature end of JPEG file") != std::string::npos ||
                log.find("Corrupt JPEG data") != std::string::npos)
        << log;
    EXPECT_NE(log.find("rows from "), std::string::npos) << log;
}

TEST_F(EndToEnd, SlideWithOneDamagedTileEndsWithTheTileInItsLog) {
    SourceFolder src("e2e_damage_slide", 600, 400);
    const std::string path = src.path("damaged.svs");
    ASSERT_TRUE(vqtest::writeFile(src.path("make_slide.py"), kMakeSlide));
    ASSERT_EQ(vqtest::runCommand("/usr/bin/python3 '" + src.path("make_slide.py") + "' '" + path + "' '" +
                                 src.ppm() + "' 1"),
              0)
        << "python3 with numpy and cjpeg are needed";

    const int id = drop(juce::StringArray(juce::String(path)));
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    const std::string log = logOf(job);
    EXPECT_NE(job.getStatus(), kStatusFinished) << log;
    EXPECT_NE(log.find("Corrupt JPEG data"), std::string::npos) << log;
    // Tile 1 of the first row of the stored level.
    EXPECT_NE(log.find("x:1 y:0"), std::string::npos) << log;
}

} // namespace
