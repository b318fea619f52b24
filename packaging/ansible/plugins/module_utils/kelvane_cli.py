# -*- coding: utf-8 -*-
# Copyright: Tessarin
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)
"""Running kelvane-cli with --json and reading its events.

The modules of this collection are thin: every decision about files is taken by
kelvane-cli itself. This file only builds command lines, runs them and sorts the
JSON lines that come back by event.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# Exit statuses of kelvane-cli (see its manual page).
EXIT_DONE = 0
EXIT_PARTLY = 1
EXIT_INTERRUPTED = 2
EXIT_NOTHING = 3
EXIT_USAGE = 4
EXIT_NOT_GUARANTEED = 5

# Options shared by the modules that overwrite: how the data is overwritten.
OVERWRITE_ARGS = dict(
    passes=dict(type='int'),
    method=dict(type='str', choices=['random', 'value', 'pattern']),
    value=dict(type='int'),
    pattern=dict(type='path'),
    key=dict(type='path', no_log=False),
    report=dict(type='list', elements='path', default=[]),
    cli=dict(type='str', default='kelvane-cli'),
)


def overwrite_options(module):
    """The kelvane-cli options for the overwriting arguments a task gave."""
    p = module.params
    args = []
    if p.get('passes') is not None:
        if not 1 <= p['passes'] <= 300:
            module.fail_json(msg='passes must be between 1 and 300')
        args += ['--passes', str(p['passes'])]
    method = p.get('method')
    if method == 'random':
        args.append('--random')
    elif method == 'value':
        if p.get('value') is None or not 0 <= p['value'] <= 255:
            module.fail_json(msg='method=value needs value, a byte from 0 to 255')
        args += ['--value', str(p['value'])]
    elif method == 'pattern':
        if not p.get('pattern'):
            module.fail_json(msg='method=pattern needs pattern, a file')
        args += ['--pattern', p['pattern']]
    if p.get('key'):
        args += ['--key', p['key']]
    for place in p.get('report') or []:
        args += ['--report', place]
    return args


def cli_command(module):
    """kelvane-cli as the task named it, found on the target's PATH."""
    name = module.params.get('cli') or 'kelvane-cli'
    if '/' in name:
        return name
    found = module.get_bin_path(name)
    if not found:
        module.fail_json(msg='%s was not found on the target; install the kelvane-cli package' % name)
    return found


def parse_events(text):
    """The JSON objects of kelvane-cli's standard output, in order.

    A line that is not a JSON object (which a well-behaved kelvane-cli never
    prints with --json) is kept as an event of its own kind so nothing is lost."""
    events = []
    for line in text.splitlines():
        line = line.strip()
        if not line:
            continue
        try:
            obj = json.loads(line)
        except ValueError:
            events.append({'event': 'unparsed', 'line': line})
            continue
        if isinstance(obj, dict):
            events.append(obj)
        else:
            events.append({'event': 'unparsed', 'line': line})
    return events


def run_cli(module, argv):
    """Runs kelvane-cli; returns (exit status, events, standard error)."""
    rc, out, err = module.run_command(argv, check_rc=False, errors='surrogate_or_replace')
    return rc, parse_events(out), err


def of_kind(events, kind):
    return [e for e in events if e.get('event') == kind]


def end_of(events):
    ends = of_kind(events, 'end')
    return ends[-1] if ends else {}


def reports_of(events):
    """The report files a run wrote: one dict per report with the files named.

    Newer kelvane-cli versions send a 'report' event; older ones only a log
    line 'Report: PATH'."""
    reports = []
    for e in of_kind(events, 'report'):
        reports.append(dict((k, v) for k, v in e.items() if k != 'event'))
    if not reports:
        for e in of_kind(events, 'log'):
            line = e.get('line', '')
            if not line.startswith('Report: '):
                continue
            path = line[len('Report: '):]
            if path.endswith('.sig') and reports:
                reports[-1]['signature'] = path
            elif path.endswith('.pdf') and reports:
                reports[-1]['pdf'] = path
            else:
                reports.append({'json': path})
    return reports


def fail_run(module, rc, events, err, result):
    """Fails the task for a run that did not end as asked, naming what failed."""
    end = end_of(events)
    msg = end.get('status') or (err.strip().splitlines() or ['kelvane-cli ended with status %d' % rc])[-1]
    result.update(rc=rc, stderr=err)
    result.setdefault('outcome', end.get('outcome'))
    module.fail_json(msg=msg, **result)
