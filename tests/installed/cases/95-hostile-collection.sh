# The launcher's end-to-end case of a hostile collection, pointed at the installed copy:
# its trayhub and launchers run, not the build's.
test="$build/bin/launcher_e2e_test"
filter="LauncherTest.AHostileCollectionGoesThroughWholeAndTheRestIsLoggedWithItsReason"
[ -x "$test" ] || fail "no $test"
listed="$("$test" --gtest_list_tests --gtest_filter="$filter")"
grep -q "AHostileCollection" <<<"$listed" || skip "this build has no $filter"
TOVARIN_TEST_INSTALLED="$prefix" TOVARIN_TEST_TOOLS="$build/bin" "$test" --gtest_filter="$filter"
