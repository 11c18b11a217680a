// The URL rules as one table; it runs against whichever cracker the platform builds.
#include <gtest/gtest.h>

#include "common/url.h"

namespace {

struct CrackCase {
  const char16_t* url;
  bool valid;
  const char16_t* scheme;
  const char16_t* host;
  std::uint16_t port;
  const char16_t* path;
  const char16_t* extra;
};

const CrackCase kCrackCases[] = {
    {u"HTTPS://Example.COM/Path/File?Q=Upper#Frag", true, u"https", u"example.com", 443,
     u"/Path/File", u"?Q=Upper#Frag"},
    {u"http://example.com", true, u"http", u"example.com", 80, u"", u""},
    {u"http://example.com/", true, u"http", u"example.com", 80, u"/", u""},
    {u"https://example.com:8443/a%20b", true, u"https", u"example.com", 8443, u"/a%20b", u""},
    {u"http://host:0/", true, u"http", u"host", 0, u"/", u""},
    {u"http://host:65535/", true, u"http", u"host", 65535, u"/", u""},
    {u"http://host:/x", true, u"http", u"host", 80, u"/x", u""},
    {u"http://host?x=1", true, u"http", u"host", 80, u"", u"?x=1"},
    {u"http://host#top", true, u"http", u"host", 80, u"", u"#top"},
    {u"http://host/a#b?c", true, u"http", u"host", 80, u"/a", u"#b?c"},
    {u"http://host/a/b@c", true, u"http", u"host", 80, u"/a/b@c", u""},
    {u"http://[::1]:8080/ping", true, u"http", u"[::1]", 8080, u"/ping", u""},
    {u"http://[FE80::1]/", true, u"http", u"[fe80::1]", 80, u"/", u""},
    {u"https://\u00C4rger.example/", true, u"https", u"\u00C4rger.example", 443, u"/", u""},
    {u"http://@host/", true, u"http", u"host", 80, u"/", u""},
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
  for (const char16_t* url :
       {u"http://user@host/", u"http://user:pw@host/", u"http://:pw@host/", u"https://localhost@evil.example/",
        u"ftp://host/", u"file:///etc/passwd", u"javascript:alert(1)", u"httpx://host/", u" http://host/",
        u"http:host/", u"http:/host/", u"host/path", u"", u"http://host:65536/", u"http://host:80x/",
        u"http://host:-1/", u"http://host:1:2/", u"http://[::1/", u"http://[::1]x/"}) {
    SCOPED_TRACE(toNarrow(url));
    const ParsedUrl u = crackUrl(url);
    EXPECT_FALSE(u.valid);
    EXPECT_TRUE(u.scheme.empty() && u.host.empty() && u.path.empty() && u.extra.empty());
    EXPECT_EQ(u.port, 0);
  }
  // An empty host is cracked into its parts but is not valid.
  for (const char16_t* url : {u"http:///path", u"https://", u"http://:8080/", u"https://?q"}) {
    EXPECT_FALSE(crackUrl(url).valid) << toNarrow(url);
  }
}

TEST(IsLocalHost, Table) {
  const struct {
    const char16_t* url;
    bool local;
  } cases[] = {
      {u"http://localhost/", true},       {u"http://LOCALHOST:9/", true},
      {u"http://127.0.0.1:8080/", true},  {u"http://[::1]/", true},
      {u"http://127.0.0.2/", false},      {u"http://0.0.0.0/", false},
      {u"http://localhost.localdomain/", false}, {u"http://[::2]/", false},
      {u"http://[0:0:0:0:0:0:0:1]/", false},    {u"http://192.168.1.5/", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toNarrow(c.url));
    EXPECT_EQ(isLocalHost(crackUrl(c.url)), c.local);
  }
  ParsedUrl bare;
  bare.host = u"::1";
  EXPECT_TRUE(isLocalHost(bare));
}

// Redirect targets read against the address that answered (RFC 3986's examples, and the forms
// servers send in Location).
TEST(ResolveReference, Table) {
  const ParsedUrl base = crackUrl(u"http://a:8080/b/c/d;p?q#f");
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"g", u"http://a:8080/b/c/g"},           {u"./g", u"http://a:8080/b/c/g"},
      {u"g/", u"http://a:8080/b/c/g/"},         {u"/g", u"http://a:8080/g"},
      {u"//g", u"http://g"},                    {u"?y", u"http://a:8080/b/c/d;p?y"},
      {u"g?y#s", u"http://a:8080/b/c/g?y"},     {u"#s", u"http://a:8080/b/c/d;p?q"},
      {u"", u""},                               {u"  ", u""},
      {u".", u"http://a:8080/b/c/"},            {u"..", u"http://a:8080/b/"},
      {u"../..", u"http://a:8080/"},            {u"../../../g", u"http://a:8080/g"},
      {u"/./g", u"http://a:8080/g"},            {u"/../g", u"http://a:8080/g"},
      {u"g.", u"http://a:8080/b/c/g."},         {u"..g", u"http://a:8080/b/c/..g"},
      {u"./../g", u"http://a:8080/b/g"},        {u"g/./h", u"http://a:8080/b/c/g/h"},
      {u"g/../h", u"http://a:8080/b/c/h"},      {u"g//..", u"http://a:8080/b/c/g/"},
      {u"HTTPS://Other/x?1", u"HTTPS://Other/x?1"}, {u"ftp://x/", u"ftp://x/"},
      {u" /g\t", u"http://a:8080/g"},
  };
  for (const auto& [reference, expected] : cases) {
    EXPECT_EQ(resolveReference(base, reference), expected) << toNarrow(reference);
  }
  EXPECT_EQ(resolveReference(crackUrl(u"https://[::1]"), u"x"), u"https://[::1]:443/x");
  EXPECT_EQ(resolveReference(crackUrl(u"https://h"), u"?q"), u"https://h:443/?q");
  EXPECT_EQ(resolveReference(ParsedUrl{}, u"/x"), u"");
}

}  // namespace
