#include "platform/db/access_odbc_links.h"

#include <dorvane/runtime_error.h>

#include "platform/db/access_database.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/db/odbc_database.h"
#include "platform/db/sqlite_database.h"
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
  // A name of the file's catalog (blanks included) opens that object; only an
  // ODBC link is read here.
  if (const CatalogEntry* entry = file_.find(sourceName(source))) {
    if (entry->type != object_type::kOdbcLinkedTable) return nullptr;
    connection_ = OdbcConnection::pooled(odbcAttributes(entry->connect));
    return std::make_shared<OdbcDynaset>(
        connection_->run(u"SELECT * FROM " + remoteTableOf(*entry).quoted(), {}), source);
  }
  std::vector<std::u16string> names;
  try {
    names = sourceTables(source);
  } catch (const TranslateError&) {
    return nullptr;  // the file's own copy reports what is wrong with the text
  }
  std::string server;
  std::u16string serverTables, otherTables;
  bool mixed = false;
  for (const auto& name : names) {
    const CatalogEntry* entry = file_.find(name);
    if (entry && entry->type == object_type::kOdbcLinkedTable) {
      std::string attributes = odbcAttributes(entry->connect);
      if (!server.empty() && attributes != server) mixed = true;
      if (server.empty()) server = attributes;
      serverTables += (serverTables.empty() ? u"" : u", ") + name + u" (" +
                      text::fromUtf8(maskPasswords(attributes)) + u")";
    } else {
      otherTables += (otherTables.empty() ? u"" : u", ") + name;
    }
  }
  if (server.empty()) return nullptr;
  if (mixed || !otherTables.empty()) {
    throw RuntimeError(
        err::kOperationNotSupported,
        "The SQL text reads tables of more than one source, which are not joined here: on a "
        "server " +
            text::toUtf8(serverTables) +
            (otherTables.empty() ? ""
                                 : "; in '" + file_.path() + "' " + text::toUtf8(otherTables)) +
            ": " + text::toUtf8(source));
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
