// The URL rules as one table; it runs against whichever cracker the platform builds.
#include <gtest/gtest.h>

#include "common/url.h"

namespace {

struct CrackCase {
  const WChar* url;
  bool valid;
  const WChar* scheme;
  const WChar* host;
  std::uint16_t port;
  const WChar* path;
  const WChar* extra;
};

const CrackCase kCrackCases[] = {
    {DESK_W("HTTPS://Example.COM/Path/File?Q=Upper#Frag"), true, DESK_W("https"), DESK_W("example.com"), 443,
     DESK_W("/Path/File"), DESK_W("?Q=Upper#Frag")},
    {DESK_W("http://example.com"), true, DESK_W("http"), DESK_W("example.com"), 80, DESK_W(""), DESK_W("")},
    {DESK_W("http://example.com/"), true, DESK_W("http"), DESK_W("example.com"), 80, DESK_W("/"), DESK_W("")},
    {DESK_W("https://example.com:8443/a%20b"), true, DESK_W("https"), DESK_W("example.com"), 8443, DESK_W("/a%20b"),
     DESK_W("")},
    {DESK_W("http://host:0/"), true, DESK_W("http"), DESK_W("host"), 0, DESK_W("/"), DESK_W("")},
    {DESK_W("http://host:65535/"), true, DESK_W("http"), DESK_W("host"), 65535, DESK_W("/"), DESK_W("")},
    {DESK_W("http://host:/x"), true, DESK_W("http"), DESK_W("host"), 80, DESK_W("/x"), DESK_W("")},
    {DESK_W("http://host?x=1"), true, DESK_W("http"), DESK_W("host"), 80, DESK_W(""), DESK_W("?x=1")},
    {DESK_W("http://host#top"), true, DESK_W("http"), DESK_W("host"), 80, DESK_W(""), DESK_W("#top")},
    {DESK_W("http://host/a#b?c"), true, DESK_W("http"), DESK_W("host"), 80, DESK_W("/a"), DESK_W("#b?c")},
    {DESK_W("http://host/a/b@c"), true, DESK_W("http"), DESK_W("host"), 80, DESK_W("/a/b@c"), DESK_W("")},
    {DESK_W("http://[::1]:8080/ping"), true, DESK_W("http"), DESK_W("[::1]"), 8080, DESK_W("/ping"), DESK_W("")},
    {DESK_W("http://[FE80::1]/"), true, DESK_W("http"), DESK_W("[fe80::1]"), 80, DESK_W("/"), DESK_W("")},
    {DESK_W("https://\u00C4rger.example/"), true, DESK_W("https"), DESK_W("\u00C4rger.example"), 443, DESK_W("/"),
     DESK_W("")},
    {DESK_W("http://@host/"), true, DESK_W("http"), DESK_W("host"), 80, DESK_W("/"), DESK_W("")},
};

TEST(CrackUrl, Table) {
  for (const auto& c : kCrackCases) {
    SCOPED_TRACE(toNarrow(c.url));
    const ParsedUrl u = crackUrl(c.url);
    EXPECT_EQ(u.valid, c.valid);
    EXPECT_EQ(u.scheme, c.scheme);
    EXPECT_EQ(u.host, c.host);
    EXPECT_EQ(u.port, c.port);
    EXPECT_EQ(u.path, c.path);
    EXPECT_EQ(u.extra, c.extra);
  }
}

// Refused: user information, other schemes, no host, malformed authority.
TEST(CrackUrl, Refused) {
  for (const WChar* url :
       {DESK_W("http://user@host/"), DESK_W("http://user:pw@host/"), DESK_W("http://:pw@host/"),
        DESK_W("https://localhost@evil.example/"), DESK_W("ftp://host/"), DESK_W("file:///etc/passwd"),
        DESK_W("javascript:alert(1)"), DESK_W("httpx://host/"), DESK_W(" http://host/"), DESK_W("http:host/"),
        DESK_W("http:/host/"), DESK_W("host/path"), DESK_W(""), DESK_W("http://host:65536/"),
        DESK_W("http://host:80x/"), DESK_W("http://host:-1/"), DESK_W("http://host:1:2/"), DESK_W("http://[::1/"),
        DESK_W("http://[::1]x/")}) {
    SCOPED_TRACE(toNarrow(url));
    const ParsedUrl u = crackUrl(url);
    EXPECT_FALSE(u.valid);
    EXPECT_TRUE(u.scheme.empty() && u.host.empty() && u.path.empty() && u.extra.empty());
    EXPECT_EQ(u.port, 0);
  }
  // An empty host is cracked into its parts but is not valid.
  for (const WChar* url : {DESK_W("http:///path"), DESK_W("https://"), DESK_W("http://:8080/"), DESK_W("https://?q")}) {
    EXPECT_FALSE(crackUrl(url).valid) << toNarrow(url);
  }
}

TEST(IsLocalHost, Table) {
  const struct {
    const WChar* url;
    bool local;
  } cases[] = {
      {DESK_W("http://localhost/"), true},       {DESK_W("http://LOCALHOST:9/"), true},
      {DESK_W("http://127.0.0.1:8080/"), true},  {DESK_W("http://[::1]/"), true},
      {DESK_W("http://127.0.0.2/"), false},      {DESK_W("http://0.0.0.0/"), false},
      {DESK_W("http://localhost.localdomain/"), false}, {DESK_W("http://[::2]/"), false},
      {DESK_W("http://[0:0:0:0:0:0:0:1]/"), false},    {DESK_W("http://192.168.1.5/"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toNarrow(c.url));
    EXPECT_EQ(isLocalHost(crackUrl(c.url)), c.local);
  }
  ParsedUrl bare;
  bare.host = DESK_W("::1");
  EXPECT_TRUE(isLocalHost(bare));
}

// Redirect targets read against the address that answered (RFC 3986's examples, and the forms
// servers send in Location).
TEST(ResolveReference, Table) {
  const ParsedUrl base = crackUrl(DESK_W("http://a:8080/b/c/d;p?q#f"));
  const std::pair<const WChar*, const WChar*> cases[] = {
      {DESK_W("g"), DESK_W("http://a:8080/b/c/g")},           {DESK_W("./g"), DESK_W("http://a:8080/b/c/g")},
      {DESK_W("g/"), DESK_W("http://a:8080/b/c/g/")},         {DESK_W("/g"), DESK_W("http://a:8080/g")},
      {DESK_W("//g"), DESK_W("http://g")},                    {DESK_W("?y"), DESK_W("http://a:8080/b/c/d;p?y")},
      {DESK_W("g?y#s"), DESK_W("http://a:8080/b/c/g?y")},     {DESK_W("#s"), DESK_W("http://a:8080/b/c/d;p?q")},
      {DESK_W(""), DESK_W("")},                               {DESK_W("  "), DESK_W("")},
      {DESK_W("."), DESK_W("http://a:8080/b/c/")},            {DESK_W(".."), DESK_W("http://a:8080/b/")},
      {DESK_W("../.."), DESK_W("http://a:8080/")},            {DESK_W("../../../g"), DESK_W("http://a:8080/g")},
      {DESK_W("/./g"), DESK_W("http://a:8080/g")},            {DESK_W("/../g"), DESK_W("http://a:8080/g")},
      {DESK_W("g."), DESK_W("http://a:8080/b/c/g.")},         {DESK_W("..g"), DESK_W("http://a:8080/b/c/..g")},
      {DESK_W("./../g"), DESK_W("http://a:8080/b/g")},        {DESK_W("g/./h"), DESK_W("http://a:8080/b/c/g/h")},
      {DESK_W("g/../h"), DESK_W("http://a:8080/b/c/h")},      {DESK_W("g//.."), DESK_W("http://a:8080/b/c/g/")},
      {DESK_W("HTTPS://Other/x?1"), DESK_W("HTTPS://Other/x?1")}, {DESK_W("ftp://x/"), DESK_W("ftp://x/")},
      {DESK_W(" /g\t"), DESK_W("http://a:8080/g")},
  };
  for (const auto& [reference, expected] : cases) {
    EXPECT_EQ(resolveReference(base, reference), expected) << toNarrow(reference);
  }
  EXPECT_EQ(resolveReference(crackUrl(DESK_W("https://[::1]")), DESK_W("x")), DESK_W("https://[::1]:443/x"));
  EXPECT_EQ(resolveReference(crackUrl(DESK_W("https://h")), DESK_W("?q")), DESK_W("https://h:443/?q"));
  EXPECT_EQ(resolveReference(ParsedUrl{}, DESK_W("/x")), DESK_W(""));
}

}  // namespace
