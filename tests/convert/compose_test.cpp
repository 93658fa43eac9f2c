// The mimelib component's creation and the attachment types the composer names.
#include <gtest/gtest.h>

#include "msg/email_eml.h"
#include "msg/mimelib.h"

namespace bm {
namespace {

TEST(ContentTypes, ByExtensionAnyCase) {
  EXPECT_EQ(ContentTypeForName("Report.PDF"), "application/pdf");
  EXPECT_EQ(ContentTypeForName("noextension"), "application/octet-stream");
  EXPECT_EQ(ContentTypeForName("archive.tar.gz"), "application/gzip");
}

TEST(MimelibCreation, FailsWhenItsRuntimeCannotStart) {
  std::unique_ptr<Mimelib> mimelib;
  EXPECT_EQ(Mimelib::Create(mimelib, [] { return REGDB_E_CLASSNOTREG; }), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(mimelib, nullptr);
  EXPECT_EQ(Mimelib::Create(mimelib, ComponentStarter()), E_POINTER);
  EXPECT_EQ(mimelib, nullptr);
  EXPECT_EQ(Mimelib::Create(mimelib), S_OK);
  EXPECT_NE(mimelib, nullptr);
}

}  // namespace
}  // namespace bm
