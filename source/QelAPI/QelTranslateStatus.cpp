#include <array>
#include <cstdint>

#include "source/QelAPI/QelStatus.h"

namespace {

// How a row turns its code into a status: a fixed word, or the code's own low
// twelve bits as detail under a fixed kind.
enum class RowForm : std::uint8_t { kFixed, kDetail };

struct TranslationRow {
  QelHwStatus first;  // inclusive range, first >= last (codes are negative)
  QelHwStatus last;
  RowForm form;
  QelStatus value;  // the word, or the kind for kDetail
};

constexpr TranslationRow Fixed(QelHwStatus code, QelStatus value) {
  return {code, code, RowForm::kFixed, value};
}
constexpr TranslationRow Detail(QelHwStatus first, QelHwStatus last, QelStatus kind) {
  return {first, last, RowForm::kDetail, kind};
}

constexpr std::array kRows = {
    Fixed(0, 0),
    Fixed(-5, 76),
    Fixed(-6, 98),
    Fixed(-7, 70),
    Fixed(-10, 70),
    Fixed(-8, 130),
    Fixed(-11, 127),
    Fixed(-12, 81),
    Detail(-13, -13, 130),
    Fixed(-15, 82),
    Fixed(-17, 82),
    Fixed(-16, 138),
    Fixed(-1001, 93),
    Fixed(-2001, 121),
    Fixed(-2010, 121),
    Fixed(-2002, 71),
    Fixed(-2003, 115),
    Fixed(-2004, 122),
    Fixed(-2009, 122),
    Fixed(-2005, 84),
    Fixed(-2006, 128),
    Fixed(-2011, 128),
    Fixed(-2007, 82),
    Fixed(-2008, 82),
    Fixed(-2012, 82),
    Fixed(-2013, 107),
    Fixed(-2016, 73),
    Fixed(-3002, 122),
    Fixed(-3003, 121),
    Fixed(-3004, 123),
    Fixed(-3009, 123),
    Fixed(-3005, 82),
    Fixed(-3008, 82),
    Fixed(-3007, 128),
    Fixed(-3012, 137),
    Fixed(-4001, 129),
    Detail(-4002, -4011, 73),
    Fixed(-5001, 97),
    Fixed(-5002, 121),
    Fixed(-5005, 121),
    Fixed(-5003, 130),
    Fixed(-5007, 130),
    Fixed(-5004, 76),
    Fixed(-5006, 106),
    Fixed(-5008, 99),
    Fixed(-5100, 82),
    Fixed(-6001, 116),
    Fixed(-6002, 59),
    Fixed(-6003, 61),
    Fixed(-6004, 62),
    Fixed(-6005, 64),
    Fixed(-6006, 65),
    Fixed(-6007, 63),
    Detail(-7001, -7001, 73),
    Detail(-8001, -8002, 73),
    Fixed(-9002, 109),
    Fixed(-10001, 128),
    Fixed(-10002, 128),
    Fixed(-10003, 122),
    Fixed(-10004, 131),
    Fixed(-10005, 132),
    Fixed(-10500, 118),
    Fixed(-10501, 118),
    Fixed(-10600, (10u << 8) | 42),
    Fixed(-10700, (67u << 8) | 43),
    Fixed(-10701, (68u << 8) | 43),
    Fixed(-10702, (69u << 8) | 43),
    Fixed(-10703, (97u << 8) | 43),
    Fixed(-10704, (98u << 8) | 43),
    Fixed(-10705, 135),
    Fixed(-10706, 136),
    Fixed(-11000, 133),
    Fixed(-11001, 129),
    Fixed(-11002, 82),
    Fixed(-11004, 82),
    Fixed(-11023, 82),
    Fixed(-11025, 82),
    Fixed(-11003, 84),
    Fixed(-11005, 76),
    Fixed(-11006, 130),
    Fixed(-11008, 130),
    Fixed(-11017, 130),
    Fixed(-11018, 130),
    Fixed(-11019, 130),
    Fixed(-11007, 128),
    Fixed(-11009, 128),
    Fixed(-11010, 128),
    Fixed(-11012, 128),
    Fixed(-11015, 128),
    Fixed(-11021, 128),
    Fixed(-11027, 128),
    Fixed(-11030, 128),
    Fixed(-11011, 121),
    Fixed(-11022, 121),
    Fixed(-11024, 121),
    Fixed(-11013, 132),
    Fixed(-11014, 131),
    Detail(-11020, -11020, 73),
    Fixed(-11026, 97),
    Fixed(-11029, 124),
    Fixed(-12000, 126),
};

// The code's magnitude, cut to the twelve bits a detail holds; well defined
// for the most negative code too.
QelStatus LowBitsOf(QelHwStatus code) {
  const std::uint32_t bits = static_cast<std::uint32_t>(code);
  const std::uint32_t magnitude = code < 0 ? 0u - bits : bits;
  return magnitude & 0xFFFu;
}

}  // namespace

QelStatus TranslateStatus(QelHwStatus status) {
  for (const TranslationRow& row : kRows) {
    if (status > row.first || status < row.last) continue;
    if (row.form == RowForm::kFixed) return row.value;
    return QelStatusMake(LowBitsOf(status), row.value);
  }
  return QelStatusMake(LowBitsOf(status), kQelKindGeneral);
}
