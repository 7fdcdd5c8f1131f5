// The fault-injection module (bsopanel_faults) in the stand-in host on a temporary outbound, with
// a front end that answers whatever the plugin shows, since a fault may bring boxes that a
// clean run never shows. Dialogs are answered by the test's function; message boxes with one
// button are confirmed, questions are answered as the test says (the busy question separately);
// the editor runs the test's function. Every message box is recorded.
#ifndef BSOPANEL_TESTS_FAULTS_PLUGIN_SESSION_H
#define BSOPANEL_TESTS_FAULTS_PLUGIN_SESSION_H

#include "outbound_fixture.h"

#include "bso/text_file.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class AnsweringFrontEnd : public standin::FrontEnd {
public:
    std::function<int(const standin::DialogRequest &)> answerDialog;
    std::function<void(const standin::EditorRequest &)> edit;
    // Two-button boxes other than the busy question. The same question a second time (the
    // listing asks again when dropping a missing file's line failed) gets the second button,
    // as a user who sees it come back gives up.
    int questionAnswer = 0;
    int busyAnswer = 0;     // the busy question: stop ("Cancel", its first button) by default
    std::string busyNotice; // the busy notice's text, to tell that box apart
    std::vector<standin::MessageRequest> messages; // every box with buttons, in order
    std::set<std::vector<std::string>> asked;      // the questions answered so far

    int Dialog(const standin::DialogRequest &request) override {
        return answerDialog ? answerDialog(request) : -1;
    }
    int Message(const standin::MessageRequest &request) override;
    int Editor(const standin::EditorRequest &request) override {
        if (edit) edit(request);
        return 1;
    }
    // Warning boxes shown, busy questions not counted.
    int Warnings() const;
    int BusyQuestions() const;
};

// Fills a dialog's answer: edit texts by item, the radio button to turn on (its group's others
// off) and the item that closes it.
int AnswerDialog(const standin::DialogRequest &request, const std::map<int, std::string> &edits,
                 int radio, int closeWith);

class PluginSession {
public:
    // The tree's outbound root is "out"; the own address 2:5020/1000. The settings go into the
    // registry once; sessions after the first on the same registry find them there.
    PluginSession(OutboundTree &tree, standin::TestRegistry &registry);
    ~PluginSession();

    // Writes the settings, loads the module and opens the panel on the left; the right panel
    // shows "files". False with the reason in Error().
    bool Open();
    void Close();
    const std::string &Error() const { return error_; }

    standin::Host &Host() { return *host_; }
    standin::Panel &Panel() { return host_->Left(); }
    // Enters the link row; selects the rows of files (their names end in "\<name>").
    bool Enter(const std::string &row);
    bool SelectFiles(const std::vector<std::string> &names);
    bool SetCurrentFile(const std::string &name);

    HMODULE Module() { return host_->Module(); }

    AnsweringFrontEnd front;

private:
    int FileRow(const std::string &name);
    OutboundTree &tree_;
    standin::TestRegistry &registry_;
    std::unique_ptr<standin::Host> host_;
    std::string error_;
};

#endif
