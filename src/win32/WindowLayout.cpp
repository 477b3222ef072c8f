#include "WindowLayout.h"

#include "ControlIds.h"

namespace vxt::win32 {

namespace {

// Left, top, width and height in client pixels at 96 dpi.
constexpr ControlRow kBitBtn1{kBitBtn1Id, "Izvjestaj", 127, 95, 75, 25};
constexpr ControlRow kEdit1{kEdit1Id, "", 46, 5, 121, 21};
constexpr ControlRow kLabel1{kLabel1Id, "Server", 8, 8, 32, 13};
constexpr ControlRow kMemo1{kMemo1Id, "", 8, 135, 333, 104};
constexpr ControlRow kLabel3{kLabel3Id, "Kupac", 8, 43, 29, 13};
constexpr ControlRow kEdit3{kEdit3Id, "", 6, 57, 45, 21};
constexpr ControlRow kD1{kD1Id, "", 109, 57, 112, 21};
constexpr ControlRow kD2{kD2Id, "", 226, 57, 113, 21};
constexpr ControlRow kPb{kPbId, "", 8, 245, 333, 17};
constexpr ControlRow kLabel2{kLabel2Id, "PIN", 60, 43, 17, 13};
constexpr ControlRow kEdit2{kEdit2Id, "", 58, 57, 45, 21};
constexpr ControlRow kLabel4{kLabel4Id, "Period", 109, 43, 30, 13};
// It starts 4 pixels before the client area's right edge: only a strip of it shows.
constexpr ControlRow kVl{kVlId, "", 345, 67, 306, 300};

}  // namespace

void CreateControls(const ControlParent& parent, TVXTMainControls& controls) {
  // The order of creation is the tab order (the Z order that the dialog manager walks); the
  // labels and the bar have no tab stop.
  controls.BitBtn1.Create(parent, kBitBtn1);
  controls.Edit1.Create(parent, kEdit1);
  controls.Label1.Create(parent, kLabel1);
  controls.Memo1.Create(parent, kMemo1);
  controls.Label3.Create(parent, kLabel3);
  controls.Edit3.Create(parent, kEdit3);
  controls.d1.Create(parent, kD1);
  controls.d2.Create(parent, kD2);
  controls.pb.Create(parent, kPb);
  controls.Label2.Create(parent, kLabel2);
  controls.Edit2.Create(parent, kEdit2);
  controls.Label4.Create(parent, kLabel4);
  controls.vl.Create(parent, kVl);
}

}  // namespace vxt::win32
