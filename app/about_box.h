#pragma once
// The about box: banner, the maker's addresses and the OK button, in the current language.

#include <cstdint>
#include <string>

#include "controls/kv_controls.h"
#include "platform/ui/ext_ctrls.h"
#include "platform/ui/forms.h"

class TFrmAbout : public TForm {
 public:
  explicit TFrmAbout(TComponent* AOwner);
  std::string ClassName() const override { return "TFrmAbout"; }

  TImage* Image1 = nullptr;
  TImage* Image2 = nullptr;
  TImage* Image3 = nullptr;
  TKvLabel* LabelHomepage = nullptr;
  TKvLabel* LabelEmail = nullptr;
  TKvURLLabel* KvURLLabel1 = nullptr;
  TKvURLLabel* KvURLLabel2 = nullptr;
  TKvLabel* LabelCopyright = nullptr;
  TKvSeparator* KvSeparator1 = nullptr;
  TKvButton* BtnOk = nullptr;

  void FormCreate(TObject* Sender);
  void ApplyLanguage(int32_t Index);
};
