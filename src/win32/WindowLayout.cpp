#include "WindowLayout.h"

#include "ControlIds.h"

namespace vxt::win32 {

void CreateControls(const ControlParent& parent, TVXTMainControls& controls) {
  // The order of creation is the tab order (the Z order that the dialog manager walks); the
  // labels and the bar have no tab stop. Each row: ID, text, then left, top, width and height
  // in client pixels at 96 dpi.
  controls.BitBtn1.Create(parent, {kBitBtn1Id, "Izvjestaj", 127, 95, 75, 25});
  controls.Edit1.Create(parent, {kEdit1Id, "", 46, 5, 121, 21});
  controls.Label1.Create(parent, {kLabel1Id, "Server", 8, 8, 32, 13});
  controls.Memo1.Create(parent, {kMemo1Id, "", 8, 135, 333, 104});
  controls.Label3.Create(parent, {kLabel3Id, "Kupac", 8, 43, 29, 13});
  controls.Edit3.Create(parent, {kEdit3Id, "", 6, 57, 45, 21});
  controls.d1.Create(parent, {kD1Id, "", 109, 57, 112, 21});
  controls.d2.Create(parent, {kD2Id, "", 226, 57, 113, 21});
  controls.pb.Create(parent, {kPbId, "", 8, 245, 333, 17});
  controls.Label2.Create(parent, {kLabel2Id, "PIN", 60, 43, 17, 13});
  controls.Edit2.Create(parent, {kEdit2Id, "", 58, 57, 45, 21});
  controls.Label4.Create(parent, {kLabel4Id, "Period", 109, 43, 30, 13});
  // It starts 4 pixels before the client area's right edge: only a strip of it shows.
  controls.vl.Create(parent, {kVlId, "", 345, 67, 306, 300});
}

}  // namespace vxt::win32
