#include "addin/explorer_watcher.h"

#include "log/log_file.h"
#include "outlook/outlook.h"

const SinkEntry CExplEvent::s_sinkTable[] = {
    {1, &IID_Outlook_ExplorerEvents, kDispidExplorerClose, &CExplEvent::OnClose},
};

CExplEvent::CExplEvent(IDispatch* explorer, ExplorerWatcherOwner* owner)
    : m_sink(1, IID_Outlook_ExplorerEvents, s_sinkTable, 1, this, nullptr), m_spExplorer(explorer), m_pOwner(owner)
{
    (void)m_sink.Advise(explorer); // a deaf watcher stays in the owner's list all the same
}

CExplEvent::~CExplEvent()
{
    if (m_spExplorer)
        (void)m_sink.Unadvise(m_spExplorer.Get()); // the cookie is reset whatever the result
    m_spExplorer.Reset();
}

void CExplEvent::OnClose(void* target, DISPPARAMS*)
{
    static_cast<CExplEvent*>(target)->Event_Explorer_Close();
}

// Outlook's Quit closes every window and discards unsaved changes to items, so Outlook is
// not done while an item is still open in a window of its own (an Inspector): the shutdown
// waits, and Outlook raises Quit by itself once that window closes. Throws ComError.
bool CExplEvent::NoInspectorOpen()
{
    const Microsoft::WRL::ComPtr<IDispatch> inspectors = Outlook::Inspectors(m_pOwner->Application());
    return Outlook::InspectorCount(inspectors.Get()) == 0;
}

void CExplEvent::Event_Explorer_Close()
{
    LogMessage(0, "CExplEvent<Event_Explorer_Close>");
    try {
        const std::string version = Outlook::Version(m_pOwner->Application());
        m_pOwner->NoteOutlookVersion(version);
        if (!version.empty() && version[0] == '9') {
            // Outlook 2000 still counts the closing window when Close arrives.
            if (Outlook::Count(m_pOwner->ExplorersCollection()) < 2 && NoInspectorOpen()) {
                m_pOwner->OnLastWindowClosed();
                return;
            }
        }
        const long count = Outlook::Count(m_pOwner->ExplorersCollection());
        // Read before unsubscribing: a failing read leaves the watcher as it was.
        const bool lastWindow = count == 0 && NoInspectorOpen();
        if (m_spExplorer) {
            (void)m_sink.Unadvise(m_spExplorer.Get());
            m_spExplorer.Reset();
        }
        if (lastWindow)
            m_pOwner->OnLastWindowClosed();
    } catch (...) {
        LogMessage(0, "CExplEvent<Event_Explorer_Close>::Exception");
    }
}
