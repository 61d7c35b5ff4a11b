#!/usr/bin/env bash
# Fails when a text the user may read is not handed to Qt's translation
# functions. Every such text is Japanese, so every string literal holding a
# character outside ASCII must be one that lupdate finds (tr(),
# QCoreApplication::translate(), QT_TR_NOOP() and the like); a literal that
# is not a text for the user (a table of characters, say) says so with a
# comment "// not a user text" on its line.
#
#   scripts/check-strings.sh [ts file to write]
#
# The field table and the rules' messages in data/ are Shift-JIS bytes
# written as escapes, which a file's name and the cells share; they are the
# report's own data, not the program's wording, and are not looked at.
set -euo pipefail
cd "$(dirname "$0")/.."

lupdate=$(command -v lupdate 2>/dev/null || true)
for candidate in /usr/lib/qt6/bin/lupdate /usr/lib/qt6/libexec/lupdate; do
    [ -n "$lupdate" ] && break
    [ -x "$candidate" ] && lupdate=$candidate
done
if [ -z "$lupdate" ]; then
    echo "check-strings: lupdate not found (Debian: qt6-l10n-tools)" >&2
    exit 2
fi

if [ $# -ge 1 ]; then
    ts=$1
else
    ts=$(mktemp -u --suffix=.ts)
    trap 'rm -f "$ts"' EXIT
fi
rm -f "$ts"
"$lupdate" -silent -no-obsolete -locations absolute -source-language ja -target-language ja \
    app document file grid -ts "$ts"

perl -CSD -Mutf8 - "$ts" app document file grid <<'PERL'
use strict;
use warnings;
use File::Find;

my ($ts, @folders) = @ARGV;

# What lupdate found, as the program's texts.
open(my $in, '<:encoding(UTF-8)', $ts) or die "$ts: $!";
my $xml = do { local $/; <$in> };
close $in;
# Each text with the files lupdate found it in: the same words elsewhere
# do not make a literal translatable.
my %known;
while ($xml =~ m{<message>(.*?)</message>}gs) {
    my $message = $1;
    my @files = ($message =~ m{<location filename="([^"]+)"}g);
    my ($text) = ($message =~ m{<source>(.*?)</source>}s);
    next unless defined $text;
    $text =~ s/&lt;/</g; $text =~ s/&gt;/>/g; $text =~ s/&quot;/"/g; $text =~ s/&apos;/'/g;
    $text =~ s/&#x([0-9a-fA-F]+);/chr(hex($1))/ge; $text =~ s/&amp;/&/g;
    for my $file (@files) {
        $file =~ s{^.*?/((?:app|document|file|grid)/[^/]+)$}{$1};
        $known{"$file\0$text"} = 1;
    }
}

sub unescape {
    my ($s) = @_;
    $s =~ s{\\(u[0-9a-fA-F]{4}|U[0-9a-fA-F]{8}|x[0-9a-fA-F]{1,2}|[0-7]{1,3}|.)}{
        my $e = $1;
        $e =~ /^[uU]/ ? chr(hex(substr($e, 1)))
      : $e =~ /^x/ ? chr(hex(substr($e, 1)))
      : $e =~ /^[0-7]/ ? chr(oct($e))
      : $e eq 'n' ? "\n" : $e eq 't' ? "\t" : $e eq 'r' ? "\r" : $e
    }ge;
    return $s;
}

my @files;
find(sub { push @files, $File::Find::name if /\.(cpp|h)$/ }, @folders);
my $bad = 0;
for my $file (sort @files) {
    open(my $f, '<:encoding(UTF-8)', $file) or die "$file: $!";
    my @lines = <$f>;
    close $f;
    my $source = join('', @lines);
    # Comments out, keeping the lines where they are.
    $source =~ s{("(?:[^"\\\n]|\\.)*")|//[^\n]*|/\*.*?\*/}{
        defined $1 ? $1 : do { my $c = $&; $c =~ s/[^\n]//g; $c }
    }gse;
    # Runs of adjacent literals make one text, as for the compiler.
    while ($source =~ m{((?:u8|u|U|L)?"(?:[^"\\\n]|\\.)*"(?:\s*"(?:[^"\\\n]|\\.)*")*)}g) {
        my ($run, $end) = ($1, pos($source));
        my @parts = ($run =~ m{"((?:[^"\\\n]|\\.)*)"}g);
        # Written characters, or \u escapes, make a text; \x escapes alone
        # make bytes (a byte-order mark, a Shift-JIS code).
        next unless grep { /[^\x00-\x7F]|\\[uU][0-9a-fA-F]/ } @parts;
        my $text = join('', map { unescape($_) } @parts);
        next if $known{"$file\0$text"};
        my $line = (substr($source, 0, $end) =~ tr/\n//) + 1;
        next if $lines[$line - 1] =~ m{//\s*not a user text};
        my $shown = length($text) > 40 ? substr($text, 0, 40) . '…' : $text;
        $shown =~ s/\n/\\n/g;
        print "$file:$line: not translatable: \"$shown\"\n";
        $bad = 1;
    }
}
my $count = scalar keys %known;
print "check-strings: $count texts found by lupdate", ($bad ? ", and texts outside them above\n" : ", none outside them\n");
exit $bad;
PERL
