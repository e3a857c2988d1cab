#include "platform/db/access_odbc_links.h"

#include <dorvane/runtime_error.h>

#include "platform/db/access_database.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/db/odbc_database.h"
#include "platform/db/sqlite_database.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::db {

RemoteTable remoteTableOf(const CatalogEntry& link) {
  std::u16string foreign = text::fromUtf8(link.foreignName);
  if (foreign.empty()) foreign = link.name;
  RemoteTable t;
  if (size_t dot = foreign.find(u'.'); dot != std::u16string::npos) {
    t.schema = foreign.substr(0, dot);
    t.name = foreign.substr(dot + 1);
  } else {
    t.name = foreign;
  }
  return t;
}

void checkOdbcLink(const CatalogEntry& link) {
  OdbcConnection::pooled(odbcAttributes(link.connect))
      ->run(u"SELECT * FROM " + remoteTableOf(link).quoted() + u" WHERE 1 = 0", {});
}

std::shared_ptr<Recordset> AccessOdbcLinks::open(const std::u16string& source) {
  if (isBareName(source)) {
    const CatalogEntry* entry = file_.find(source);
    if (!entry || entry->type != object_type::kOdbcLinkedTable) return nullptr;
    connection_ = OdbcConnection::pooled(odbcAttributes(entry->connect));
    return std::make_shared<OdbcDynaset>(
        connection_->run(u"SELECT * FROM " + remoteTableOf(*entry).quoted(), {}), source);
  }
  std::vector<std::u16string> names;
  try {
    names = sourceTables(source);
  } catch (const TranslateError& e) {
    // A text the server would get, if it names a server table, that cannot
    // be taken apart; otherwise the file's own copy reports what is wrong.
    for (const auto& entry : file_.catalog())
      if (entry.type == object_type::kOdbcLinkedTable &&
          text::InStr(1, source, entry.name, text::CompareMode::Text) > 0)
        throw RuntimeError(err::kSyntaxError, "The SQL text cannot be run on the server '" +
                                                  maskPasswords(odbcAttributes(entry.connect)) +
                                                  "': " + e.what() + ": " + text::toUtf8(source));
    return nullptr;
  }
  std::vector<const CatalogEntry*> entries;
  std::string server;
  bool mixed = false;
  for (const auto& name : names) {
    const CatalogEntry* entry = file_.find(name);
    bool linked = entry && entry->type == object_type::kOdbcLinkedTable;
    entries.push_back(linked ? entry : nullptr);
    if (!linked) {
      mixed = true;
      continue;
    }
    std::string attributes = odbcAttributes(entry->connect);
    if (server.empty()) server = attributes;
    if (attributes != server) mixed = true;
  }
  if (server.empty()) return nullptr;
  if (mixed) {
    std::string onServers, local;
    for (size_t i = 0; i < names.size(); ++i) {
      std::string name = text::toUtf8(names[i]);
      if (entries[i])
        onServers += (onServers.empty() ? "" : ", ") + name + " ('" +
                     maskPasswords(odbcAttributes(entries[i]->connect)) + "')";
      else
        local += (local.empty() ? "" : ", ") + name;
    }
    throw RuntimeError(err::kOperationNotSupported,
                       "The SQL text reads tables of more than one source, which are not joined "
                       "here: on a server " +
                           onServers +
                           (local.empty() ? "" : "; in '" + file_.path() + "' " + local) + ": " +
                           text::toUtf8(source));
  }
  connection_ = OdbcConnection::pooled(server);
  return openOnServer(*connection_, *this, source, source);
}

RemoteTable AccessOdbcLinks::table(const std::u16string& written) {
  const CatalogEntry* entry = file_.find(written);
  // open() let only links to this connection's server through.
  return remoteTableOf(*entry);
}

const std::vector<OdbcColumn>& AccessOdbcLinks::columns(const RemoteTable& table) {
  return connection_->columns(table);
}

}  // namespace dorvane::db
