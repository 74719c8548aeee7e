// Page reading and blank-row trimming on real raster streams.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/page_reader.h"
#include "tests/support/job_capture.h"
#include "tests/support/raster_writer.h"

namespace {

struct ReadResult {
    int result;
    uint32_t height;
    std::vector<uint8_t> destination;
    std::string log;
};

// Writes one page of `rows` (each of `b` bytes) and reads it back.
ReadResult readPage(const std::vector<std::vector<uint8_t>>& rows, uint32_t b, int32_t pageType,
                    int64_t writtenBytes = -1)
{
    std::vector<uint8_t> pixels;
    for (const auto& row : rows)
        pixels.insert(pixels.end(), row.begin(), row.end());
    TestPage page{monoHeader(b * 8, static_cast<uint32_t>(rows.size())), pixels, writtenBytes};
    RasterInput input(rasterStream({page}));
    cups_page_header_t header;
    EXPECT_TRUE(input.nextHeader(header));
    std::vector<uint8_t> destination(pixels.size() + 16, 0);
    JobCapture job(0);
    int result = removeNullLine(input.stream(), destination, header, pageType, job.job.log);
    return {result, header.cupsHeight, destination, job.log()};
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> rows)
{
    std::vector<uint8_t> out;
    for (const auto& r : rows)
        out.insert(out.end(), r.begin(), r.end());
    return out;
}

struct TrimCase {
    const char* name;
    uint32_t b;
    std::vector<std::vector<uint8_t>> rows;
    uint32_t keptHeight;
    std::vector<uint8_t> kept;
};

class VariableLengthTrim : public testing::TestWithParam<TrimCase> {};

TEST_P(VariableLengthTrim, KeepsRowsFromFirstToLastDot)
{
    const TrimCase& c = GetParam();
    ReadResult r = readPage(c.rows, c.b, 0);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.height, c.keptHeight);
    EXPECT_EQ(r.log, "");
    std::vector<uint8_t> expected = c.kept;
    expected.resize(r.destination.size(), 0); // the rest stays zero
    EXPECT_EQ(r.destination, expected);
}

const std::vector<uint8_t> Z4{0, 0, 0, 0};
const std::vector<uint8_t> Z3{0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Pages, VariableLengthTrim,
    testing::Values(
        TrimCase{"ZeroBytesInsideKeptRowsStay", 4,
                 {Z4, Z4, {0, 0, 5, 0}, {1, 2, 3, 4}, {0, 9, 0, 0}, Z4, Z4},
                 3,
                 concat({{0, 0, 5, 0}, {1, 2, 3, 4}, {0, 9, 0, 0}})},
        TrimCase{"OddByteCountComesBackUnchanged", 3,
                 {Z3, {0, 0, 0x81}, {0x12, 0x34, 0x56}, {0x80, 0, 0}, Z3, Z3},
                 3,
                 {0, 0, 0x81, 0x12, 0x34, 0x56, 0x80, 0, 0}},
        TrimCase{"NoBlankRowAtEitherEnd", 2, {{1, 0}, {0, 0}, {0, 2}}, 3, {1, 0, 0, 0, 0, 2}},
        TrimCase{"BlankOnlyAtTop", 2, {{0, 0}, {0, 0}, {7, 0}, {0, 8}}, 2, {7, 0, 0, 8}},
        TrimCase{"BlankOnlyAtBottom", 2, {{7, 0}, {0, 8}, {0, 0}}, 2, {7, 0, 0, 8}},
        TrimCase{"OnlyDotIsLastBitOfLastByte", 2, {{0, 0}, {0, 0}, {0, 1}}, 1, {0, 1}}),
    [](const testing::TestParamInfo<TrimCase>& info) { return info.param.name; });

TEST(RemoveNullLine, BlankVariablePageIsSkipped)
{
    ReadResult r = readPage({Z4, Z4, Z4}, 4, 0);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.height, 3u);
    EXPECT_EQ(r.log, "PELTRIN DEBUG MSG : removeNullLine() NULLPAGE\n");
    EXPECT_EQ(r.destination, std::vector<uint8_t>(r.destination.size(), 0));
}

TEST(RemoveNullLine, FixedAndUnknownPageTypesKeepEveryRow)
{
    for (int32_t type : {1, -1, 7}) {
        ReadResult blank = readPage({Z4, Z4}, 4, type);
        EXPECT_EQ(blank.result, 0) << type;
        EXPECT_EQ(blank.height, 2u) << type;
        EXPECT_EQ(blank.log, "");
        ReadResult page = readPage({Z4, {1, 2, 3, 4}, Z4}, 4, type);
        EXPECT_EQ(page.result, 0);
        EXPECT_EQ(page.height, 3u);
        EXPECT_EQ(std::vector<uint8_t>(page.destination.begin(), page.destination.begin() + 12),
                  concat({Z4, {1, 2, 3, 4}, Z4}));
    }
}

TEST(RemoveNullLine, UnknownPageTypeKeepsTheStreamInStep)
{
    TestPage first = monoPage(16, 2, {0xAA, 0xBB, 0xCC, 0xDD});
    TestPage second = monoPage(8, 1, {0x55});
    RasterInput input(rasterStream({first, second}));
    std::vector<uint8_t> destination(16, 0);
    cups_page_header_t header;
    ASSERT_TRUE(input.nextHeader(header));
    EXPECT_EQ(removeNullLine(input.stream(), destination, header, -1, nullptr), 0);
    ASSERT_TRUE(input.nextHeader(header));
    EXPECT_EQ(header.cupsWidth, 8u);
    EXPECT_EQ(removeNullLine(input.stream(), destination, header, -1, nullptr), 0);
    EXPECT_EQ(destination[0], 0x55);
}

TEST(RemoveNullLine, ReadFailureEndsTheJob)
{
    struct Case {
        int32_t pageType;
        const char* line;
    } cases[] = {{0, "PELTRIN DEBUG MSG : removeNullLine() NULLIMAGE\n"},
                 {1, "PELTRIN DEBUG MSG : removeNullLine() NULLIMAGE2\n"}};
    for (const Case& c : cases) {
        ReadResult r = readPage({{1, 2}, {3, 4}}, 2, c.pageType, /*writtenBytes=*/0);
        EXPECT_EQ(r.result, -2);
        EXPECT_EQ(r.height, 2u);
        EXPECT_EQ(r.log, c.line);
    }
}

TEST(RemoveNullLine, DestinationTooSmallIsNotWritten)
{
    TestPage page = monoPage(16, 4, std::vector<uint8_t>(8, 0xFF));
    RasterInput input(rasterStream({page}));
    cups_page_header_t header;
    ASSERT_TRUE(input.nextHeader(header));
    std::vector<uint8_t> destination(7, 0);
    EXPECT_EQ(removeNullLine(input.stream(), destination, header, 0, nullptr), -2);
    EXPECT_EQ(destination, std::vector<uint8_t>(7, 0));
}

// Random pages against a simple model: find the first and last rows with a dot.
TEST(RemoveNullLine, RandomPagesMatchRowModel)
{
    std::mt19937 rng(7);
    for (int iteration = 0; iteration < 200; ++iteration) {
        uint32_t b = 1 + rng() % 9;
        uint32_t h = 1 + rng() % 20;
        std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>(b, 0));
        for (auto& row : rows)
            if (rng() % 3 == 0)
                row[rng() % b] = static_cast<uint8_t>(1u << (rng() % 8));
        int first = -1, last = -1;
        for (uint32_t r = 0; r < h; ++r) {
            for (uint8_t v : rows[r]) {
                if (v != 0) {
                    if (first < 0)
                        first = static_cast<int>(r);
                    last = static_cast<int>(r);
                }
            }
        }
        ReadResult got = readPage(rows, b, 0);
        if (first < 0) {
            EXPECT_EQ(got.result, -1);
            continue;
        }
        ASSERT_EQ(got.result, 0);
        ASSERT_EQ(got.height, static_cast<uint32_t>(last - first + 1));
        std::vector<uint8_t> expected;
        for (int r = first; r <= last; ++r)
            expected.insert(expected.end(), rows[r].begin(), rows[r].end());
        expected.resize(got.destination.size(), 0);
        EXPECT_EQ(got.destination, expected);
    }
}

} // namespace
