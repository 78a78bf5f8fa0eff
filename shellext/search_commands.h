// The commands that search the player's tracks into the "Search" folder, make and edit
// Quodrels (rule-defined playlists), edit one note or one contact, and make the Active
// Queue play a chosen track.
#pragma once

#include <string>
#include <string_view>

#include "shellext/shell_item.h"

namespace shellext {

// Runs "SELECT id FROM audio WHERE <condition>;" on the player and makes its tracks the
// "Search" folder's, in the player's order. With matches the condition is kept in
// `SQL_LastSearchQuery` and the views refresh; without, "Search produced no matches.".
// Throws the device's errors.
void RunTrackSearch(const std::string& condition);

// Asks for a word and searches artist, album, genre and title for it; the word goes into
// the statement as a string literal, so quotes and operators in it are only text.
void OpenSimpleSearch();
// Asks for a condition (prefilled with the last search's) and searches with it; a
// condition that does not read as one is shown with the reason and asked again.
void OpenAdvancedSearch();

// The simple search's condition for a word.
std::string SimpleSearchCondition(std::string_view text);
// The advanced dialog's first text from the stored last search: the condition of a whole
// statement ("SELECT ... WHERE <condition>;") or a condition as it was stored, without
// its trailing ";".
std::string AdvancedSearchPrefill(std::string_view stored);

// "New Quodrel...": asks for a name and makes the playlist "QL: " + name.
void CreateRulePlaylist();
// "Edit Quodrel...": the rule editor of the one selected playlist.
void EditRulePlaylist(const CPidlList& selection);

// The editors of one note's text and one contact's fields; the item is written back on
// OK. Device errors go to the caller, which commits afterwards.
void EditNote(const CPidlList& selection);
void EditContact(const CPidlList& selection);

// "Skip to this Track": makes the first selected track's first queue entry current and
// plays it.
void SkipToTrack(const CPidlList& selection);

}  // namespace shellext
