// The type library inside Dorvane.ocx as the system reads it (LoadRegTypeLib,
// ITypeInfo): version 26.0, the three types with their flags, and every
// member of _ctlMessage with its name, dispatch id, kind, parameters and
// types, in order, against the control's own description (which the
// TypeLibrary cases hold against the published table). The Japanese method
// names are stored in code page 932: the system reads them in its ANSI code
// page. Needs Dorvane.ocx registered (run.sh does). dorvane/component.h
// comes before windows.h, whose macros would take its constants' names.
#include <dorvane/component.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "control/type_library.h"
#include "dorvane_com.h"

namespace {

using namespace dorvane::typelib;

struct Library {
  ITypeLib* lib = nullptr;
  Library() { ::LoadRegTypeLib(LIBID_Dorvane, kMajorVersion, kMinorVersion, 0, &lib); }
  ~Library() {
    if (lib) lib->Release();
  }
};

std::wstring inAnsiCodePage(const std::string& bytes) {
  std::wstring w(bytes.size(), L'\0');
  w.resize(::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(),
                                 static_cast<int>(w.size())));
  return w;
}

std::wstring ascii(const char* s) { return std::wstring(s, s + std::strlen(s)); }

// The variant type a member's type stands for in the library.
VARTYPE variantType(const std::string& type) {
  if (type == "short") return VT_I2;
  if (type == "long") return VT_I4;
  if (type == "BSTR") return VT_BSTR;
  if (type == "VARIANT") return VT_VARIANT;
  if (type == "void") return VT_VOID;
  return VT_DISPATCH;  // the object members
}

TEST(ComTypeLibrary, VersionTypesAndFlags) {
  Library l;
  ASSERT_NE(l.lib, nullptr) << "the type library is not registered";
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(l.lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->wMajorVerNum, 26);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  l.lib->ReleaseTLibAttr(attr);
  ASSERT_EQ(l.lib->GetTypeInfoCount(), 3u);
  const struct {
    GUID guid;
    TYPEKIND kind;
    unsigned flags;
    const char* name;
    int functions;  // -1: _ctlMessage's, counted member by member below
  } types[] = {
      {IID__ctlMessage, TKIND_DISPATCH, library().types[0].flags, "_ctlMessage", -1},
      {CLSID_ctlMessage, TKIND_COCLASS, library().types[1].flags, "ctlMessage", 0},
      {DIID___ctlMessage, TKIND_DISPATCH, library().types[2].flags, "__ctlMessage", 0},
  };
  for (const auto& t : types) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(l.lib->GetTypeInfoOfGuid(t.guid, &info), S_OK) << t.name;
    TYPEATTR* a = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&a), S_OK);
    EXPECT_EQ(a->typekind, t.kind) << t.name;
    if (t.flags & TYPEFLAG_FDUAL) {
      // The dual interface: its table of functions holds the flags as the
      // library declares them, its dispatch view all but "OLE automation".
      HREFTYPE ref = 0;
      ITypeInfo* table = nullptr;
      TYPEATTR* ta = nullptr;
      ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
      ASSERT_EQ(info->GetRefTypeInfo(ref, &table), S_OK);
      ASSERT_EQ(table->GetTypeAttr(&ta), S_OK);
      EXPECT_EQ(ta->typekind, TKIND_INTERFACE);
      EXPECT_EQ(ta->wTypeFlags, t.flags);
      EXPECT_EQ(a->wTypeFlags, t.flags & ~TYPEFLAG_FOLEAUTOMATION);
      table->ReleaseTypeAttr(ta);
      table->Release();
    } else {
      EXPECT_EQ(a->wTypeFlags, t.flags) << t.name;
    }
    EXPECT_EQ(a->wMajorVerNum, 26) << t.name;
    EXPECT_EQ(a->wMinorVerNum, 0) << t.name;
    if (t.functions >= 0) {
      EXPECT_EQ(a->cFuncs, t.functions) << t.name;
    }
    BSTR name = nullptr;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(name ? name : L""), ascii(t.name));
    ::SysFreeString(name);
    if (t.kind == TKIND_COCLASS) {
      // _ctlMessage the default interface, __ctlMessage the default source.
      ASSERT_EQ(a->cImplTypes, 2);
      for (UINT i = 0; i < 2; ++i) {
        INT implFlags = 0;
        HREFTYPE ref = 0;
        ITypeInfo* impl = nullptr;
        TYPEATTR* ia = nullptr;
        ASSERT_EQ(info->GetImplTypeFlags(i, &implFlags), S_OK);
        ASSERT_EQ(info->GetRefTypeOfImplType(i, &ref), S_OK);
        ASSERT_EQ(info->GetRefTypeInfo(ref, &impl), S_OK);
        ASSERT_EQ(impl->GetTypeAttr(&ia), S_OK);
        EXPECT_EQ(implFlags,
                  i == 0 ? IMPLTYPEFLAG_FDEFAULT : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
        EXPECT_EQ(ia->guid, i == 0 ? IID__ctlMessage : DIID___ctlMessage);
        impl->ReleaseTypeAttr(ia);
        impl->Release();
      }
    }
    info->ReleaseTypeAttr(a);
    info->Release();
  }
}

TEST(ComTypeLibrary, EveryMemberWithItsNameIdKindAndParameters) {
  Library l;
  ASSERT_NE(l.lib, nullptr);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(l.lib->GetTypeInfoOfGuid(IID__ctlMessage, &info), S_OK);
  // The dispatch view of a dual interface lists IUnknown's and IDispatch's
  // functions first, restricted.
  UINT index = 0;
  for (FUNCDESC* f = nullptr; info->GetFuncDesc(index, &f) == S_OK; ++index) {
    const bool inherited = f->wFuncFlags & FUNCFLAG_FRESTRICTED;
    info->ReleaseFuncDesc(f);
    if (!inherited) break;
  }
  for (const Member& m : defaultInterface().members) {
    // The library's name: the stored bytes read in the system's code page;
    // on a Japanese system the names of the table.
    const std::wstring name = inAnsiCodePage(m.name);
    if (::GetACP() == 932) {
      const std::u16string table = displayName(m);
      EXPECT_EQ(name, std::wstring(table.begin(), table.end()));
    }
    std::vector<INVOKEKIND> kinds = {INVOKE_FUNC};
    if (m.kind != MemberKind::Method)
      kinds = {INVOKE_PROPERTYGET,
               m.kind == MemberKind::ObjectProperty ? INVOKE_PROPERTYPUTREF : INVOKE_PROPERTYPUT};
    for (INVOKEKIND kind : kinds) {
      FUNCDESC* f = nullptr;
      ASSERT_EQ(info->GetFuncDesc(index++, &f), S_OK);
      EXPECT_EQ(f->memid, m.id) << m.name;
      EXPECT_EQ(f->invkind, kind) << m.name;
      EXPECT_EQ(f->funckind, FUNC_DISPATCH) << m.name;
      BSTR names[8] = {};
      UINT count = 0;
      ASSERT_EQ(info->GetNames(f->memid, names, 8, &count), S_OK);
      EXPECT_EQ(std::wstring(names[0]), name) << m.name;
      if (m.kind == MemberKind::Method) {
        // Each string parameter [in, out] BSTR*; the result a VARIANT or none.
        ASSERT_EQ(static_cast<size_t>(f->cParams), m.parameters.size()) << m.name;
        ASSERT_EQ(count, 1 + m.parameters.size()) << m.name;
        for (size_t p = 0; p < m.parameters.size(); ++p) {
          EXPECT_EQ(std::wstring(names[1 + p]), ascii(m.parameters[p].name));
          const ELEMDESC& e = f->lprgelemdescParam[p];
          EXPECT_EQ(e.tdesc.vt, VT_PTR) << m.name;
          EXPECT_EQ(e.tdesc.lptdesc->vt, VT_BSTR) << m.name;
          EXPECT_EQ(e.paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT),
                    PARAMFLAG_FIN | PARAMFLAG_FOUT);
        }
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, variantType(m.type)) << m.name;
      } else if (kind == INVOKE_PROPERTYGET) {
        EXPECT_EQ(f->cParams, 0);
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, variantType(m.type)) << m.name;
      } else {
        ASSERT_EQ(f->cParams, 1);
        EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, variantType(m.type)) << m.name;
      }
      for (UINT i = 0; i < count; ++i) ::SysFreeString(names[i]);
      info->ReleaseFuncDesc(f);
    }
    // Binding the name through the library, in any case.
    for (std::wstring asked : {name, std::wstring(::CharUpperW(std::wstring(name).data()))}) {
      LPOLESTR one[] = {asked.data()};
      MEMBERID id = MEMBERID_NIL;
      EXPECT_EQ(info->GetIDsOfNames(one, 1, &id), S_OK) << m.name;
      EXPECT_EQ(id, m.id) << m.name;
    }
  }
  FUNCDESC* more = nullptr;
  EXPECT_NE(info->GetFuncDesc(index, &more), S_OK);  // nothing else in the interface
  info->Release();
}

// Clients bind a name by its hash (ITypeComp::Bind with LHashValOfNameSys):
// every name the library stores carries the system's hash of its bytes for
// the library's lcid. Read from the library's bytes (MSFT format) in the
// registered file's TYPELIB resource.
TEST(ComTypeLibrary, EveryStoredNameCarriesTheSystemsHash) {
  BSTR path = nullptr;
  ASSERT_EQ(::QueryPathOfRegTypeLib(LIBID_Dorvane, kMajorVersion, kMinorVersion, 0, &path), S_OK);
  HMODULE file = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ::SysFreeString(path);
  ASSERT_NE(file, nullptr);
  HRSRC found = ::FindResourceW(file, MAKEINTRESOURCEW(1), L"TYPELIB");
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const unsigned char*>(::LockResource(::LoadResource(file, found)));
  const DWORD size = ::SizeofResource(file, found);
  auto at = [&](DWORD offset) {
    EXPECT_LE(offset + 4, size);
    return offset + 4 <= size ? *reinterpret_cast<const INT*>(data + offset) : 0;
  };
  ASSERT_EQ(std::string(reinterpret_cast<const char*>(data), 4), "MSFT");
  const LCID lcid = at(12);
  const SYSKIND kind = static_cast<SYSKIND>(at(20) & 0xF);
  const DWORD segments = 0x54 + (at(20) & 0x100 ? 4 : 0) + 4 * at(32);
  const DWORD names = at(segments + 16 * 7), length = at(segments + 16 * 7 + 4);
  std::vector<std::string> seen;
  for (DWORD offset = 0; offset < length;) {
    const DWORD intro = at(names + offset + 8), n = intro & 0xFF;
    ASSERT_LE(names + offset + 12 + n, size);
    const std::string name(reinterpret_cast<const char*>(data) + names + offset + 12, n);
    EXPECT_EQ(intro >> 16, ::LHashValOfNameSysA(kind, lcid, name.c_str()) & 0xFFFF) << name;
    seen.push_back(name);
    offset += 12 + ((n + 3) & ~3u);
  }
  for (const Member& m : defaultInterface().members)
    EXPECT_NE(std::find(seen.begin(), seen.end(), m.name), seen.end()) << m.name;
  ::FreeLibrary(file);
}

}  // namespace
