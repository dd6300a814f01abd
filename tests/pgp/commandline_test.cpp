#include "pgp/batchlang.h"
#include "pgp/commandline.h"
#include "pgp/operations.h"

#include <gtest/gtest.h>

namespace {

using namespace kestrova::pgp;

// The command a program line gives, read as kestrova-command reads it.
Command commandOf(const std::string& line)
{
    auto program = splitProgramLine(line);
    EXPECT_TRUE(program) << line;
    std::vector<CommandWord> words(program->words.begin() + 1, program->words.end());
    auto command = parseCommand(words);
    EXPECT_TRUE(command) << line << ": " << command.error().reason;
    return command ? *command : Command{};
}

TEST(ParseCommand, AnOperandIsNeverAnOption)
{
    struct Row
    {
        const char* name;
        const char* line;
        KeyCommand key;
        std::vector<std::string> operands;
        std::string signer;
    } rows[] = {
        {"quoted recipient",
         "PGP.EXE -ea /t/K.tmp \"-ka\"",
         KeyCommand::None,
         {"/t/K.tmp", "-ka"},
         ""},
        {"quoted recipient, then the signer",
         "PGP.EXE -sea /t/K.tmp \"-u\" -u \"me\"",
         KeyCommand::None,
         {"/t/K.tmp", "-u"},
         "me"},
        {"the ID of a removal", "PGP.EXE -kr -kv", KeyCommand::Remove, {"-kv"}, ""},
        {"a quoted ID of a removal", "PGP.EXE -kr \"+force\"", KeyCommand::Remove, {"+force"}, ""},
        {"the ID of an extraction",
         "PGP.EXE -kxa \"-kr\" /t/K.ASC",
         KeyCommand::Extract,
         {"-kr", "/t/K.ASC"},
         ""},
        {"a signer that looks like an option",
         "PGP.EXE -sat /t/K.tmp -u -kr",
         KeyCommand::None,
         {"/t/K.tmp"},
         "-kr"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Command command = commandOf(row.line);
        EXPECT_EQ(command.keyCommand, row.key);
        EXPECT_EQ(command.operands, row.operands);
        EXPECT_EQ(command.signer, row.signer);
    }
}

TEST(ParseCommand, APassPhraseInQuotesStaysTheOption)
{
    const Command command = commandOf("PGP.EXE +batchmode +force -z\"-ka x\" -sat /t/K.tmp");
    ASSERT_TRUE(command.passPhrase);
    EXPECT_EQ(view(*command.passPhrase), "-ka x");
    EXPECT_TRUE(command.force && command.sign && command.armour && command.text);
    EXPECT_EQ(command.keyCommand, KeyCommand::None);
}

TEST(ClearSignedBlocks, FindsEveryBlockAndCountsTheLinesOutside)
{
    const std::string block = "-----BEGIN PGP SIGNED MESSAGE-----\r\nHash: SHA512\r\n\r\nx\r\n"
                              "-----BEGIN PGP SIGNATURE-----\r\n\r\nAAAA\r\n"
                              "-----END PGP SIGNATURE-----\r\n";
    const std::string text = "before\r\n  \r\n" + block + "\r\nbetween\r\n" + block + "after";
    const SignedBlocks found = clearSignedBlocks(text);
    ASSERT_EQ(found.blocks.size(), 2u);
    EXPECT_EQ(found.blocks[0], block);
    EXPECT_EQ(found.blocks[1], block);
    EXPECT_EQ(found.linesOutside, 3); // "before", "between", "after"; blank lines do not count
    EXPECT_EQ(clearSignedBlocks(block).linesOutside, 0);
    EXPECT_TRUE(clearSignedBlocks("no signature\r\n").blocks.empty());
}

} // namespace
