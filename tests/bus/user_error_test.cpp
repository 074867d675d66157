// The one shape of the errors a user meets (common/user_error.h), tried through the bus layer's
// PortError, which is a plain UserError of kind Port.
#include "common/user_error.h"

#include <gtest/gtest.h>

#include "bus/port.h"

namespace lpt {
namespace {

const Wording kCause{"no access to /dev/parport0 (Permission denied)",
                     "Нет доступа к /dev/parport0 (Permission denied)."};
const Wording kRemedy{"add the user to the group lp.", "Добавьте пользователя в группу lp."};

TEST(UserError, EnglishIsOneLineInWhatAndRussianPutsTheRemedyUnderTheCause) {
    const UserError e(ErrorKind::Port, kCause, kRemedy);
    EXPECT_EQ(e.Kind(), ErrorKind::Port);
    EXPECT_EQ(e.English(), "no access to /dev/parport0 (Permission denied); add the user to the "
                           "group lp.");
    EXPECT_STREQ(e.what(), e.English().c_str());
    EXPECT_EQ(e.Russian(), "Нет доступа к /dev/parport0 (Permission denied).\nДобавьте "
                           "пользователя в группу lp.");

    const UserError line(ErrorKind::File, {"this is a folder", "это папка"},
                         {"give a file", "укажите файл"}, UserError::Layout::OneLine);
    EXPECT_EQ(line.Kind(), ErrorKind::File);
    EXPECT_EQ(line.English(), "this is a folder; give a file");
    EXPECT_EQ(line.Russian(), "это папка; укажите файл");

    // A cause alone, as a text given whole in one language for both.
    const PortError whole("cable pulled");
    EXPECT_EQ(whole.Kind(), ErrorKind::Port);
    EXPECT_STREQ(whole.what(), "cable pulled");
    EXPECT_EQ(whole.Russian(), "cable pulled");
}

TEST(UserError, WhatACallerAddsComesAfterTheRemedyWithoutAStopBeforeTheSemicolon) {
    const PortError first(kCause, kRemedy);
    const PortError more(first, {"3 of 128 pages were written", "Записано страниц: 3 из 128."});
    EXPECT_EQ(more.Kind(), ErrorKind::Port);
    EXPECT_EQ(more.English(), "no access to /dev/parport0 (Permission denied); add the user to the "
                              "group lp; 3 of 128 pages were written");
    EXPECT_EQ(more.Russian(), first.Russian() + "\nЗаписано страниц: 3 из 128.");
    EXPECT_EQ(UserError::EnglishLine("a", ""), "a");
    EXPECT_EQ(UserError::EnglishLine("", "b"), "b");
}

}  // namespace
}  // namespace lpt
