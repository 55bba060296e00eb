// The operation tables. Each format index is served for most operations by
// the family of its element size; its colour components by handlers of its
// own layout. Cells still empty here (the conversions of the 8- and 16-bit
// families and of the colour formats, Bayer, plane split and merge, MONO1)
// answer as every empty cell does.
#include "buffer-formats/BufferFormatOps.h"

#include "buffer-formats/ColourPacked.h"
#include "buffer-formats/ColourSharedChroma.h"
#include "buffer-formats/ElementAccess.h"
#include "buffer-formats/ElementChain.h"
#include "buffer-formats/ElementClear.h"
#include "buffer-formats/ElementCopy.h"
#include "buffer-formats/ElementLine.h"
#include "buffer-formats/ElementLinear.h"
#include "buffer-formats/ElementRect.h"
#include "buffer-formats/Rgb161616.h"

namespace {

using namespace fmtops;

// Operations 0 to 5: linear, chain and raw element access.
template <unsigned Size>
constexpr void PutLinearChainElement(BufferFormatOpsTables& t, std::uint32_t index) {
  t.ReadLinear[index] = FamilyReadLinear<Size>;
  t.WriteLinear[index] = FamilyWriteLinear<Size>;
  t.ReadChain[index] = FamilyReadChain<Size>;
  t.WriteChain[index] = FamilyWriteChain<Size>;
  t.GetElement[index] = FamilyGetElement<Size>;
  t.SetElement[index] = FamilySetElement<Size>;
}

// Operations 8 to 15: lines, rectangles, clears and copies.
template <unsigned Size>
constexpr void PutLineRectClearCopy(BufferFormatOpsTables& t, std::uint32_t index) {
  t.ReadLine[index] = FamilyReadLine<Size>;
  t.WriteLine[index] = FamilyWriteLine<Size>;
  t.ReadRect[index] = FamilyReadRect<Size>;
  t.WriteRect[index] = FamilyWriteRect<Size>;
  t.Clear[index] = FamilyClear<Size>;
  t.ClearElement[index] = FamilyClearElement<Size>;
  t.Copy[index] = FamilyCopy<Size>;
  t.CopyRect[index] = FamilyCopyRect<Size>;
}

template <unsigned Size>
constexpr void PutFamily(BufferFormatOpsTables& t, std::uint32_t index) {
  PutLinearChainElement<Size>(t, index);
  PutLineRectClearCopy<Size>(t, index);
}

constexpr void PutComponents(BufferFormatOpsTables& t, std::uint32_t index, FmtGetElementEx get,
                             FmtSetElementEx set) {
  t.GetElementEx[index] = get;
  t.SetElementEx[index] = set;
}

template <const PackedLayout& Layout>
constexpr void PutPacked(BufferFormatOpsTables& t, std::uint32_t index) {
  PutComponents(t, index, PackedGetElementEx<Layout>, PackedSetElementEx<Layout>);
}

template <const ChromaGroupLayout& Layout>
constexpr void PutShared(BufferFormatOpsTables& t, std::uint32_t index) {
  PutComponents(t, index, GroupGetElementEx<Layout>, GroupSetElementEx<Layout>);
}

constexpr void PutMono(BufferFormatOpsTables& t) {
  PutFamily<1>(t, 1);
  PutComponents(t, 1, SmallGetElementEx<1>, SmallSetElementEx<1>);
  PutFamily<2>(t, 2);
  PutComponents(t, 2, SmallGetElementEx<2>, SmallSetElementEx<2>);
  PutFamily<3>(t, 3);
  t.Convert[3] = FamilyConvert<3>;
  PutFamily<4>(t, 4);
  PutComponents(t, 4, RawGetElementEx<4>, RawSetElementEx<4>);
  t.Convert[4] = FamilyConvert<4>;
  PutFamily<8>(t, 5);
  PutComponents(t, 5, RawGetElementEx<8>, RawSetElementEx<8>);
  t.Convert[5] = FamilyConvert<8>;
}

constexpr void PutRgb(BufferFormatOpsTables& t) {
  PutFamily<2>(t, 6);
  PutPacked<kLayoutRgb5551>(t, 6);
  PutFamily<2>(t, 7);
  PutPacked<kLayoutRgb565>(t, 7);
  PutFamily<3>(t, 8);
  PutPacked<kLayoutRgb888>(t, 8);
  PutFamily<4>(t, 9);
  PutPacked<kLayoutRgb8888>(t, 9);
  PutFamily<4>(t, 10);
  PutPacked<kLayout101010>(t, 10);
  PutComponents(t, 11, PackedGetElementEx<kLayoutRgb161616>, PackedSetElementEx<kLayoutRgb161616>);
  t.GetElement[11] = Rgb161616GetElement;
  t.SetElement[11] = Rgb161616SetElement;
  t.Clear[11] = Rgb161616Clear;
  t.ClearElement[11] = Rgb161616ClearElement;
  PutFamily<4>(t, 12);
  PutPacked<kLayoutRgb8888>(t, 12);
}

constexpr void PutYuv(BufferFormatOpsTables& t) {
  PutFamily<2>(t, 13);
  PutShared<kUyvy>(t, 13);
  PutFamily<2>(t, 14);
  PutShared<kYuy2>(t, 14);
  PutFamily<2>(t, 15);
  PutFamily<2>(t, 16);
  PutShared<kYuy2>(t, 16);
  PutShared<kY411>(t, 17);
  t.ClearElement[17] = Y411ClearElement;
  PutFamily<4>(t, 19);
  PutPacked<kLayoutRgb8888>(t, 19);
}

constexpr void PutScalar(BufferFormatOpsTables& t) {
  PutFamily<4>(t, 20);
  PutPacked<kLayoutFloat>(t, 20);
  PutFamily<8>(t, 21);
  PutPacked<kLayoutComplex>(t, 21);
  PutFamily<8>(t, 22);
  PutComponents(t, 22, PointGetElementEx, PointSetElementEx);
  PutFamily<8>(t, 23);
  PutComponents(t, 23, PointGetElementEx, PointSetElementEx);
}

constexpr void PutLaterColours(BufferFormatOpsTables& t) {
  PutFamily<4>(t, 25);
  t.SetElementEx[25] = PackedSetElementEx<kLayoutRgb8888>;
  PutFamily<3>(t, 26);
  PutPacked<kLayoutUyv>(t, 26);
  PutFamily<8>(t, 27);
  PutPacked<kLayout16161616>(t, 27);
  PutFamily<4>(t, 28);
  PutPacked<kLayoutLab>(t, 28);
  PutLineRectClearCopy<8>(t, 29);
  PutPacked<kLayout16161616>(t, 29);
  PutLineRectClearCopy<4>(t, 30);
  PutPacked<kLayout101010>(t, 30);
  PutFamily<3>(t, 31);
  PutPacked<kLayoutRgbr888>(t, 31);
}

constexpr BufferFormatOpsTables BuildTables() {
  BufferFormatOpsTables t{};
  PutMono(t);
  PutRgb(t);
  PutYuv(t);
  PutScalar(t);
  PutLaterColours(t);
  return t;
}

}  // namespace

constinit const BufferFormatOpsTables BufferFormatOps = BuildTables();
