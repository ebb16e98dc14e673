// In-place editing of text objects (a single-line edit over the box) and memos (the formatted editor).
#include <algorithm>
#include <cmath>

#include "imaging/foundation/canvas.h"
#include "imaging/foundation/locale.h"
#include "imaging/vector/vect.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/messages.h"

void TQuillotVect::StartTextEdit() {
  TQxVObject* r = ObjectRecord(FEditHandle);
  if (!r || FEditHandle < 0) {
    FEditHandle = -1;
    return;
  }
  if (!r->Editable) {
    FEditHandle = -1;
    return;
  }
  if (r->Kind == TQxVObjectKind::qvkText) {
    FEdit->SetParent(this);
    FEdit->SetAutoSize(false);
    FEdit->SetBorderStyle(TBorderStyle::bsNone);
    FEdit->SetCtl3D(false);
    PlaceTextEditor();
    // Typing in Greek or Russian needs the letters of that language.
    if (const uint8_t cs = QxCharsetOfSystemLanguage(); cs != 0) Font()->SetCharset(cs);
    FEdit->OnKeyDown = [this](TObject* S, uint16_t& K, TShiftState Sh) { EditKeyDown(S, K, Sh); };
    FEdit->OnChange = [this](TObject* S) { EditTextChanged(S); };
    {
      // The change handler must not run for the text the editor starts with.
      auto handler = std::move(FEdit->OnChange);
      FEdit->SetText(r->Text.value_or(""));
      FEdit->OnChange = std::move(handler);
    }
    FEdit->SetVisible(true);
    if (FEdit->CanFocus()) FEdit->SetFocus();
    if (OnActivateTextEdit) OnActivateTextEdit(this);
  } else if (r->Kind == TQxVObjectKind::qvkMemo) {
    FMemo->BackgroundBitmap = BackBufferBitmap();
    FMemo->SetParent(this);
    PlaceTextEditor();
    FMemo->OnKeyDown = [this](TObject* S, uint16_t& K, TShiftState Sh) { MemoKeyDown(S, K, Sh); };
    r = ObjectRecord(FEditHandle);
    FMemo->TextBuffer = r->Text.value_or("");
    FMemo->TextLength = int32_t(FMemo->TextBuffer.size());
    FMemo->CharFormatIndexes = r->CharFormatIndexes ? std::move(*r->CharFormatIndexes) : std::vector<int32_t>();
    FMemo->CharFormats = r->CharFormats ? std::move(*r->CharFormats) : std::vector<TQxCharFormat>();
    r->CharFormatIndexes.reset();
    r->CharFormats.reset();
    FMemo->BeginEdit();
    FMemo->SetVisible(true);
    if (FMemo->CanFocus()) FMemo->SetFocus();
    if (OnActivateTextEdit) OnActivateTextEdit(this);
  } else {
    FEditHandle = -1;
  }
}

void TQuillotVect::PlaceTextEditor() {
  TQxVObject* r = ObjectRecord(FEditHandle);
  if (!r || FEditHandle < 0) return;
  const int32_t left = BitmapToScreenX(r->x1), top = BitmapToScreenY(r->y1);
  const int32_t right = BitmapToScreenX(r->x2), bottom = BitmapToScreenY(r->y2);
  const TQxLogFont lf = r->Font.value_or(TQxLogFont{});
  if (r->Kind == TQxVObjectKind::qvkText) {
    FEdit->SetBounds(left, top, right - left, bottom - top);
    TFont f;
    QxApplyLogFont(lf, f);
    f.SetOrientation(0);
    f.SetColor(r->PenColor);
    f.SetHeight(lf.Height != 0 ? int32_t(std::trunc(lf.Height * ZoomY() / 100)) : -(bottom - top));
    FEdit->Font()->Assign(f);
    FEdit->SetColor(r->BrushStyle != TBrushStyle::bsSolid ? Background() : r->BrushColor);
  } else if (r->Kind == TQxVObjectKind::qvkMemo) {
    FMemo->SetBounds(left, top, right - left + 1, bottom - top + 1);
    std::copy(r->MemoMargins, r->MemoMargins + 4, FMemo->Margins);
    QxApplyLogFont(lf, FMemo->DefaultFont);
    FMemo->DefaultFont.SetOrientation(0);
    FMemo->DefaultFont.SetColor(r->PenColor);
    FMemo->DefaultBrush.SetColor(r->BrushColor);
    FMemo->DefaultBrush.SetStyle(r->CharBackStyle);
    FMemo->Alignment = r->TextAlign;
    FMemo->FillBrush.SetColor(r->BrushColor);
    FMemo->FillBrush.SetStyle(r->BrushStyle);
    FMemo->SetUniformFormat(r->UniformFormat);
    FMemo->AutoHeight = r->AutoSize;
    FMemo->LineSpacing = r->LineSpacing;
    FMemo->FramePen.SetColor(r->MemoFrameColor);
    FMemo->FramePen.SetStyle(r->MemoFrameStyle);
    FMemo->FixedCharHeight = r->FixedCharHeight;
    FMemo->Zoom = ZoomY() / 100;
  }
}

void TQuillotVect::EditTextChanged(TObject*) {
  TQxVObject* r = ObjectRecord(FEditHandle);
  if (!r || FEditHandle < 0) return;
  if (r->AutoSize) {
    TCanvas c(nullptr);
    TBitmap b(1, 1);
    c.SetBitmap(&b);
    c.SetFont(*FEdit->Font());
    const int32_t w = c.TextWidth(FEdit->Text()), m = c.TextWidth("M");
    FEdit->SetBounds(FEdit->Left(), FEdit->Top(), w, FEdit->Height());
    r->x2 = r->x1 + int32_t(std::trunc((w + m) / (ZoomX() / 100)));
  }
  UpdateView();
}

void TQuillotVect::EditKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == 13) {
    Key = 0;
    CancelInteraction();
    DoVectorialChanged();
  } else if (Key == 27) {
    Key = 0;
    FEdit->Perform(WM_UNDO, 0, 0);
    CancelInteraction();
  }
}

void TQuillotVect::MemoKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == 27) {
    Key = 0;
    CancelInteraction();
  }
}

void TQuillotVect::EndTextEdit() {
  if (FEditHandle < 0) return;
  TQxVObject* r = ObjectRecord(FEditHandle);
  if (!r) return;
  if (r->Kind == TQxVObjectKind::qvkText && FEdit->Visible()) {
    r->Text = FEdit->Text();
    if (!FDestroying && r->AutoSize) {
      TCanvas c(nullptr);
      TBitmap b(1, 1);
      c.SetBitmap(&b);
      c.SetFont(*FEdit->Font());
      r->x2 = r->x1 + int32_t(std::trunc(c.TextWidth(*r->Text) / (ZoomX() / 100)));
    }
    FEdit->OnChange = nullptr;
    FEdit->SetVisible(false);
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  } else if (r->Kind == TQxVObjectKind::qvkMemo && FMemo->Visible()) {
    FMemo->PurgeUnusedFormats();
    if (!FDestroying && r->AutoSize) r->y2 = r->y1 + int32_t(std::trunc(FMemo->ClientHeight() / (ZoomY() / 100)));
    r->Text = FMemo->TextBuffer.substr(0, size_t(std::max(0, std::min<int32_t>(FMemo->TextLength,
                                                                                int32_t(FMemo->TextBuffer.size())))));
    r->CharFormatIndexes = std::move(FMemo->CharFormatIndexes);
    r->CharFormats = std::move(FMemo->CharFormats);
    FMemo->CharFormatIndexes.clear();
    FMemo->CharFormats.clear();
    FMemo->TextBuffer.clear();
    FMemo->TextLength = 0;
    FMemo->BackgroundBitmap = nullptr;
    FMemo->SetVisible(false);
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  } else {
    return;
  }
  if (!FDestroying && CanFocus()) SetFocus();
  DoVectorialChanged();
}
