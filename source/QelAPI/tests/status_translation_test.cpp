#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "source/QelAPI/QelStatus.h"

namespace {

struct Row {
  QelHwStatus board;
  QelStatus sdk;
};

constexpr QelStatus D73(QelHwStatus code) { return (static_cast<QelStatus>(-code) & 0xFFF) << 8 | 73; }
constexpr QelStatus General(QelHwStatus code) { return (static_cast<QelStatus>(-code) & 0xFFF) << 8 | 86; }

const std::vector<Row> kRows = {
    {0, 0},         {-5, 76},       {-6, 98},       {-7, 70},       {-10, 70},      {-8, 130},
    {-11, 127},     {-12, 81},      {-13, (13 << 8) | 130},         {-15, 82},      {-17, 82},
    {-16, 138},     {-1001, 93},    {-2001, 121},   {-2010, 121},   {-2002, 71},    {-2003, 115},
    {-2004, 122},   {-2009, 122},   {-2005, 84},    {-2006, 128},   {-2011, 128},   {-2007, 82},
    {-2008, 82},    {-2012, 82},    {-2013, 107},   {-2016, 73},    {-3002, 122},   {-3003, 121},
    {-3004, 123},   {-3009, 123},   {-3005, 82},    {-3008, 82},    {-3007, 128},   {-3012, 137},
    {-4001, 129},   {-4002, D73(-4002)},            {-4006, D73(-4006)},            {-4011, D73(-4011)},
    {-5001, 97},    {-5002, 121},   {-5005, 121},   {-5003, 130},   {-5007, 130},   {-5004, 76},
    {-5006, 106},   {-5008, 99},    {-5100, 82},    {-6001, 116},   {-6002, 59},    {-6003, 61},
    {-6004, 62},    {-6005, 64},    {-6006, 65},    {-6007, 63},    {-7001, D73(-7001)},
    {-8001, D73(-8001)},            {-8002, D73(-8002)},            {-9002, 109},   {-10001, 128},
    {-10002, 128},  {-10003, 122},  {-10004, 131},  {-10005, 132},  {-10500, 118},  {-10501, 118},
    {-10600, (10 << 8) | 42},       {-10700, (67 << 8) | 43},       {-10701, (68 << 8) | 43},
    {-10702, (69 << 8) | 43},       {-10703, (97 << 8) | 43},       {-10704, (98 << 8) | 43},
    {-10705, 135},  {-10706, 136},  {-11000, 133},  {-11001, 129},  {-11002, 82},   {-11004, 82},
    {-11023, 82},   {-11025, 82},   {-11003, 84},   {-11005, 76},   {-11006, 130},  {-11008, 130},
    {-11017, 130},  {-11018, 130},  {-11019, 130},  {-11007, 128},  {-11009, 128},  {-11010, 128},
    {-11012, 128},  {-11015, 128},  {-11021, 128},  {-11027, 128},  {-11030, 128},  {-11011, 121},
    {-11022, 121},  {-11024, 121},  {-11013, 132},  {-11014, 131},  {-11020, D73(-11020)},
    {-11026, 97},   {-11029, 124},  {-12000, 126},
    // Codes without a row of their own take the general rule.
    {-1, General(-1)}, {-2, General(-2)}, {-3, General(-3)}, {-4, General(-4)}, {-9, General(-9)},
    {-14, General(-14)}, {-3001, General(-3001)}, {-3006, General(-3006)}, {-11016, General(-11016)},
    {-11028, General(-11028)}, {-4012, General(-4012)}, {-4096, 86}, {-4097, (1 << 8) | 86},
    {5, (5 << 8) | 86}, {0x1234, (0x234 << 8) | 86},
};

TEST(TranslateStatus, EveryRowAndTheGeneralRule) {
  for (const Row& row : kRows) EXPECT_EQ(TranslateStatus(row.board), row.sdk) << "board status " << row.board;
}

TEST(TranslateStatus, ListedValues) {
  EXPECT_EQ(TranslateStatus(-1), 0x156u);
  EXPECT_EQ(TranslateStatus(-4096), 86u);
  EXPECT_EQ(TranslateStatus(5), 0x556u);
  EXPECT_EQ(TranslateStatus(-13), (13u << 8) | 130);
  EXPECT_EQ(TranslateStatus(-8), 130u);
}

TEST(TranslateStatus, ExtremesKeepTwelveBitsOfDetail) {
  EXPECT_EQ(TranslateStatus(std::numeric_limits<std::int32_t>::min()), 86u);
  EXPECT_EQ(TranslateStatus(std::numeric_limits<std::int32_t>::max()), (0xFFFu << 8) | 86);
}

TEST(QelStatusFields, SplitsKindDetailAndLevel) {
  const QelStatus status = kQelModuleBuffer | (2u << 20) | QelStatusMake(0x60B, 0x0B);
  EXPECT_EQ(QelStatusKind(status), 0x0Bu);
  EXPECT_EQ(QelStatusDetail(status), 0x60Bu);
  EXPECT_EQ(QelStatusLevel(status), 2u);
}

}  // namespace
