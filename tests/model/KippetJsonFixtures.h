#pragma once

// Kept out of the test source: moc does not read multi-line raw strings.
// Every key a kippet can carry, in the canonical form the encoder writes.
inline const char* const kFullKippet = R"({
  "id": "6F9619FF-8B86-D011-B42D-00C04FC964FF",
  "name": "Research",
  "color": "3366FF",
  "icon": "folder.fill",
  "items": [{
    "id": "11111111-2222-3333-4444-555555555555",
    "type": "file",
    "content": "JVBERi0xLjQ=",
    "metadata": {"name": "paper.pdf", "fileExtension": "pdf", "fileSize": 123456,
                 "thumbnail": "AAEC/w==", "urlString": "https://example.org/paper",
                 "mimeType": "application/pdf", "aiTitle": "A Paper",
                 "aiDescription": "About things", "aiTags": ["science", "pdf"]},
    "category": "PDFs",
    "customCategory": "Papers",
    "isProcessing": false,
    "addedDate": "2026-01-15T09:30:00Z"
  }],
  "note": {"text": "remember", "updatedAt": "2026-01-16T10:00:00Z",
           "windowFrame": {"originX": 10, "originY": 20.5, "width": 300, "height": 200}},
  "todos": [{"id": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE", "text": "read it", "isDone": true,
             "createdAt": "2026-01-17T08:00:00Z",
             "completionTransitionDeadline": "2026-01-17T08:00:02Z", "order": 3}],
  "isExpanded": true,
  "isMiniView": true,
  "isTucked": true,
  "position": {"x": 120.5, "y": -40},
  "createdDate": "2026-01-10T07:00:00Z",
  "lastClosedDate": "2026-01-20T18:45:00Z",
  "project": "Thesis",
  "isDailyKippet": true,
  "customInstructions": "Sort by topic",
  "sanitizedInstructions": "Sort by topic."
})";
