#include "imaging/foundation/annotations.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/kernels/dib.h"

TQxImagingObject::TQxImagingObject() = default;
TQxImagingObject::~TQxImagingObject() = default;

int32_t TQxImagingObject::MarkType() const {
  int32_t t;
  std::memcpy(&t, Attributes.data(), 4);
  return t;
}

void TQxImagingObject::AssignFrom(const TQxImagingObject& Source) {
  if (&Source == this) return;
  Attributes = Source.Attributes;
  Points = Source.Points;
  Text = Source.Text;
  HasText = Source.HasText;
  if (Source.Image) {
    Image = std::make_unique<TQxBitmap>();
    Image->AssignFrom(Source.Image.get());
  } else {
    Image.reset();
  }
}

TQxImagingAnnot::TQxImagingAnnot(TIOParamsVals* AParent) : Parent(AParent) {}
TQxImagingAnnot::~TQxImagingAnnot() = default;

void TQxImagingAnnot::Clear() {
  FObjects.clear();
  Modified = false;
}

TQxImagingObject& TQxImagingAnnot::AddObject() {
  FObjects.push_back(std::make_unique<TQxImagingObject>());
  return *FObjects.back();
}

void TQxImagingAnnot::AssignFrom(const TQxImagingAnnot& Source) {
  if (&Source == this) return;
  FObjects.clear();
  for (const auto& o : Source.FObjects) AddObject().AssignFrom(*o);
  Modified = Source.Modified;
}

namespace {

// The named blocks of the default record or of one mark.
struct NamedSet {
  std::vector<uint8_t> AnoDat, Dib, AnText;
  bool HaveAnoDat = false, HaveDib = false, HaveAnText = false;
  std::vector<TQxImagingPoint> Points;
  bool HavePoints = false;
};

int32_t Get32(const uint8_t* P) {
  int32_t v;
  std::memcpy(&v, P, 4);
  return v;
}

void Put32(std::vector<uint8_t>& Out, int32_t V) {
  const auto* p = reinterpret_cast<const uint8_t*>(&V);
  Out.insert(Out.end(), p, p + 4);
}

// type, size 12, the 8-byte name, the data size, the data.
void PutNamed(std::vector<uint8_t>& Out, int32_t Type, const char* Name, const std::vector<uint8_t>& Data) {
  Put32(Out, Type);
  Put32(Out, 12);
  char name[8] = {};
  std::memcpy(name, Name, std::min<size_t>(std::strlen(Name), 8));
  Out.insert(Out.end(), name, name + 8);
  Put32(Out, int32_t(Data.size()));
  Out.insert(Out.end(), Data.begin(), Data.end());
}

std::vector<uint8_t> CString(const std::string& S) {
  std::vector<uint8_t> v(S.begin(), S.end());
  v.push_back(0);
  return v;
}

}  // namespace

void TQxImagingAnnot::LoadFromBuffer(const void* Data, int64_t Length) {
  if (!Data || Length <= 0) return;
  const auto* d = static_cast<const uint8_t*>(Data);
  if (Length < 8) return;
  const int32_t format = Get32(d + 4);
  NamedSet defaults, current;
  std::array<uint8_t, 164> attributes{};
  auto markType = [&] { return Get32(attributes.data()); };
  auto makeObject = [&] {
    const int32_t type = markType();
    if (type < 1) return;
    TQxImagingObject& o = AddObject();
    o.Attributes = attributes;
    if (type == 1 && current.HaveDib) {
      auto b = std::make_unique<TQxBitmap>();
      if (QxCopyDIBToBitmap(current.Dib.data(), current.Dib.size(), b.get()) != 0) o.Image = std::move(b);
    } else if ((type == 3 || type == 4) && current.HavePoints) {
      o.Points = current.Points;
    } else if (type >= 7 && type <= 10 && current.HaveAnText && current.AnText.size() >= 16) {
      const uint8_t* t = current.AnText.data();
      const size_t n = current.AnText.size() - 16;
      o.Text.assign(reinterpret_cast<const char*>(t + 16), strnlen(reinterpret_cast<const char*>(t + 16), n));
      o.HasText = true;
      int32_t scale = Get32(t + 8);
      if (scale == 0) scale = 7500;
      // The font height was stored at the creator's scale; bring it to ours.
      const int32_t h = Get32(o.Attributes.data() + 48);
      const int64_t a = int64_t(std::trunc(1000.0 / scale * h));
      // A stored scale of 1 makes a height past the integer range: it stops at the range's end.
      const int32_t nh = int32_t(std::clamp(-std::trunc(-double(a) * 7.5), double(INT32_MIN), double(INT32_MAX)));
      std::memcpy(o.Attributes.data() + 48, &nh, 4);
    }
  };
  auto parseNamed = [&](int64_t& Pos, NamedSet& Set) {
    if (Pos + 12 > Length) {
      Pos = Length;
      return;
    }
    char name[9] = {};
    std::memcpy(name, d + Pos, 8);
    Pos += 8;
    const int64_t n = Get32(d + Pos);
    Pos += 4 + (format == 0 ? 4 : 0);
    if (n < 0 || Pos + n > Length) {
      Pos = Length;
      return;
    }
    const uint8_t* data = d + Pos;
    const std::string nm(name);
    if (nm == "OiAnoDat") {
      const int32_t type = markType();
      if (type == 1 || type == 2 || type == 12) {
        Set.AnoDat.assign(data, data + std::min<int64_t>(n, 56));
        Set.HaveAnoDat = true;
      } else if ((type == 3 || type == 4) && n >= 8) {
        const int64_t count = std::min<int64_t>(Get32(data + 4), (n - 8) / 8);
        Set.Points.clear();
        for (int64_t i = 0; i < std::max<int64_t>(count, 0); ++i)
          Set.Points.push_back({Get32(data + 8 + 8 * i), Get32(data + 12 + 8 * i)});
        Set.HavePoints = true;
      }
    } else if (nm == "OiDIB") {
      Set.Dib.assign(data, data + n);
      Set.HaveDib = true;
    } else if (nm == "OiAnText") {
      Set.AnText.assign(data, data + n);
      Set.HaveAnText = true;
    }
    Pos += n;
  };
  int64_t pos = 8;
  while (pos + 8 <= Length) {
    const int32_t type = Get32(d + pos);
    pos += 8;
    if (type == 2) {
      parseNamed(pos, defaults);
    } else if (type == 5) {
      makeObject();
      current = NamedSet();
      if (pos + 164 > Length) break;
      std::memcpy(attributes.data(), d + pos, 164);
      pos += 164;
    } else if (type == 6) {
      parseNamed(pos, current);
    }
  }
  makeObject();
  Modified = false;
}

std::vector<uint8_t> TQxImagingAnnot::SaveToBuffer() const {
  std::vector<uint8_t> out;
  if (FObjects.empty()) return out;
  Put32(out, 0);
  Put32(out, 1);
  PutNamed(out, 2, "OiGroup", CString("0"));
  PutNamed(out, 2, "OiIndex", CString("1"));
  for (size_t k = 0; k < FObjects.size(); ++k) {
    const TQxImagingObject& o = *FObjects[k];
    Put32(out, 5);
    Put32(out, 164);
    out.insert(out.end(), o.Attributes.begin(), o.Attributes.end());
    const int32_t type = o.MarkType();
    if (type == 1) {
      std::vector<uint8_t> ano;
      for (int32_t v : {1, 1000, 96, 96, 96, 96, 0, 0}) Put32(ano, v);
      ano.resize(56, 0);
      PutNamed(out, 6, "OiAnoDat", ano);
      std::vector<uint8_t> dib;
      if (o.Image && !o.Image->IsEmpty()) dib = _CopyBitmaptoDIBEx(o.Image.get(), 0, 0, 0, 0, 96, 96);
      PutNamed(out, 6, "OiDIB", dib);
    } else if (type == 3 || type == 4) {
      std::vector<uint8_t> ano;
      Put32(ano, int32_t(o.Points.size()));
      Put32(ano, int32_t(o.Points.size()));
      for (const TQxImagingPoint& p : o.Points) {
        Put32(ano, p.X);
        Put32(ano, p.Y);
      }
      PutNamed(out, 6, "OiAnoDat", ano);
    } else if (type >= 7 && type <= 10) {
      std::vector<uint8_t> text;
      for (int32_t v : {0, 1000, 7500, int32_t(o.Text.size())}) Put32(text, v);
      text.insert(text.end(), o.Text.begin(), o.Text.end());
      text.push_back(0);
      PutNamed(out, 6, "OiAnText", text);
    }
    PutNamed(out, 6, "OiGroup", CString("0"));
    PutNamed(out, 6, "OiIndex", CString(std::to_string(k)));
  }
  return out;
}
