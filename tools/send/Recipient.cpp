#include "tools/send/Recipient.h"

#include "base/FaxNumber.h"
#include "contacts/ContactLookup.h"
#include "contacts/TextMatch.h"
#include "platform/OutsideText.h"
#include "platform/TextLines.h"

namespace qp::send {

Recipient ChooseRecipient(const std::string& to,
                          const std::function<contacts::ContactFileRead()>& readBook) {
    if (CheckFaxNumber(to).Ok() || contacts::LooksLikeNumber(to) || TrimBlanks(to).starts_with('+'))
        return Recipient{to, {}};

    const std::string quoted = "\"" + ShownAsText(to) + "\"";
    const contacts::ContactFileRead book = readBook();
    std::string said;
    if (book.state == contacts::ContactFileRead::State::Damaged ||
        book.state == contacts::ContactFileRead::State::Unreadable)
        said = "quillpost-send: the contacts file cannot be read (" + book.problem + ")\n";
    const std::vector<contacts::Contact> found = contacts::FindContactsByName(book.contacts, to);
    if (found.empty())
        return Recipient{{}, said + "quillpost-send: no contact matches " + quoted + "\n"};
    if (found.size() == 1) {
        const contacts::Contact& contact = found.front();
        return Recipient{contact.FaxNumber(),
                         "Fax to: " + ShownAsText(contacts::ContactLabel(contact)) + ", " +
                             ShownAsText(contact.FaxNumber()) + "\n"};
    }
    said += "quillpost-send: " + quoted + " matches several contacts:\n";
    for (const contacts::Contact& contact : found) {
        said += "  " + ShownAsText(contact.name);
        if (!contact.organisation.empty())
            said += ", " + ShownAsText(contact.organisation);
        said += ", " + ShownAsText(contact.FaxNumber()) + "\n";
    }
    return Recipient{{}, said};
}

} // namespace qp::send
