#!/usr/bin/env perl
# Prints the rows of the case folding table in platform/CaseFolding.cpp from the Unicode
# data that comes with Perl (the simple folding: one character to one character).
# Usage: scripts/case-folding-table.pl > rows.txt
use strict;
use warnings;
use Unicode::UCD qw(prop_invmap);

my ($starts, $maps, $format) = prop_invmap('Simple_Case_Folding');
die "unexpected format $format\n" unless $format eq 'a';
my %fold;
for my $i (0 .. $#$starts - 1) {
    next if $maps->[$i] == 0;    # the range maps to itself
    for my $cp ($starts->[$i] .. $starts->[$i + 1] - 1) {
        my $to = $maps->[$i] + ($cp - $starts->[$i]);
        $fold{$cp} = $to if $to != $cp;
    }
}

# Runs of characters with the same offset, either consecutive or every second one.
my @runs;
for my $cp (sort { $a <=> $b } keys %fold) {
    my $delta = $fold{$cp} - $cp;
    if (@runs && $runs[-1][2] == $delta) {
        my $run = $runs[-1];
        my $single = $run->[0] == $run->[1];
        for my $step (1, 2) {
            if ($run->[1] + $step == $cp && ($single || $run->[3] == $step)) {
                ($run->[1], $run->[3]) = ($cp, $step);
                goto NEXT;
            }
        }
    }
    push @runs, [$cp, $cp, $delta, 1];
  NEXT:
}
printf "// Unicode %s: %d characters in %d runs.\n", Unicode::UCD::UnicodeVersion(),
    scalar(keys %fold), scalar(@runs);
printf "    {0x%04X, 0x%04X, %d, %d},\n", @$_ for @runs;
