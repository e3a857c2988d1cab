// A host program built with nothing but `pkg-config --cflags --libs dorvane`:
// creates Dorvane.ctlMessage by its ProgID and calls ocxwebKiv by name.
// Usage: host READFILE SAVEFILE KIVDB (ASCII paths). Exit status 0 when the
// call was made, 1 with the reason on stderr when not.
#include <dorvane/component.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::u16string ascii(const char* s) {
  std::u16string out;
  for (; *s; ++s) out += static_cast<char16_t>(static_cast<unsigned char>(*s));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dorvane;
  if (argc != 4) return 2;
  std::string reason;
  com::ComPtr<com::IDispatch> control;
  if (!com::succeeded(com::CreateObject(u"Dorvane.ctlMessage", control, &reason))) {
    std::fprintf(stderr, "CreateObject: %s\n", reason.c_str());
    return 1;
  }
  std::vector<Variant> args = {Variant::string(ascii(argv[1])), Variant::string(ascii(argv[2])),
                               Variant::string(ascii(argv[3])), Variant::string(u"")};
  if (!com::succeeded(com::CallByName(*control.get(), u"ocxwebKiv", com::DISPATCH_METHOD, args,
                                      nullptr, &reason))) {
    std::fprintf(stderr, "ocxwebKiv: %s\n", reason.c_str());
    return 1;
  }
  return 0;
}
