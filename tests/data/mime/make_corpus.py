#!/usr/bin/env python3
"""Writes the realistic message corpus under corpus/.

Each message NAME.eml comes with NAME.expect: one line per attachment, the attachment's
name in hexadecimal (UTF-8) and the file under NAME.parts/ that holds its decoded bytes as
Python's email package decodes them. The parts' tree, NAME.tree, is the processor's own
dump, reviewed by hand; the corpus test rewrites it when QM_UPDATE_GOLDEN is set.

Messages are built with Python's email package where it can write them and by hand where
the form is older than it (RFC 1154 uuencoded text, RFC 1421 PEM) or deliberately odd
(RFC 2047 words in parameters, RFC 2231 continuations). Seeds are fixed, so a rerun makes
the same files.
"""
import base64
import binascii
import os
import random
import shutil
from email import policy
from email.message import EmailMessage

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, 'corpus')
rng = random.Random(1996)


def blob(n):
    return bytes(rng.getrandbits(8) for _ in range(n))


def write(name, data, attachments):
    with open(os.path.join(OUT, name + '.eml'), 'wb') as f:
        f.write(data)
    parts = os.path.join(OUT, name + '.parts')
    os.makedirs(parts, exist_ok=True)
    lines = []
    for i, (filename, payload) in enumerate(attachments):
        fn = '%d.bin' % i
        with open(os.path.join(parts, fn), 'wb') as f:
            f.write(payload)
        lines.append('%s %s\n' % (filename.encode('utf-8').hex(), fn))
    with open(os.path.join(OUT, name + '.expect'), 'w') as f:
        f.writelines(lines)


def decoded_attachments(raw):
    from email import message_from_bytes
    msg = message_from_bytes(raw, policy=policy.default)
    found = []
    for part in msg.walk():
        fn = part.get_filename()
        if fn and not part.is_multipart():
            found.append((fn, part.get_payload(decode=True)))
    return found


def mixed(linesep_policy, name):
    msg = EmailMessage(policy=linesep_policy)
    msg['From'] = 'Alice Example <alice@example.org>'
    msg['To'] = 'bob@example.net, "Carol, C." <carol@example.net>'
    msg['Cc'] = 'Dave (the boss) <dave@example.com>'
    msg['Subject'] = 'Quarterly report'
    msg['Date'] = 'Tue, 03 Sep 1996 14:05:10 +0200'
    msg['Message-ID'] = '<report-1@example.org>'
    msg.set_content('Hello Bob,\n\nthe report is attached.\nCaf\u00e9 cr\u00e8me co\u00fbte 3 \u20ac, = not a code.\n'
                    + 'A long line ' * 20 + '\n', cte='quoted-printable')
    msg.add_attachment(blob(5000), maintype='application', subtype='pdf', filename='report.pdf')
    msg.add_attachment(blob(700), maintype='image', subtype='png', filename='caf\u00e9 au lait.png')
    alt = EmailMessage(policy=linesep_policy)
    alt.set_content('Plain version.\n')
    alt.add_alternative('<html><body><p>HTML version &mdash; caf\u00e9</p></body></html>\n', subtype='html')
    msg.attach(alt)
    raw = msg.as_bytes()
    write(name, raw, decoded_attachments(raw))


def forwarded():
    inner = EmailMessage(policy=policy.SMTP)
    inner['From'] = 'Erin <erin@example.org>'
    inner['To'] = 'alice@example.org'
    inner['Subject'] = 'Figures'
    inner['Date'] = 'Mon, 02 Sep 1996 09:00:00 -0500'
    inner.set_content('The figures, as promised.\n')
    inner.add_attachment(b'quarter,amount\r\nQ1,100\r\nQ2,250\r\n', maintype='text', subtype='csv', filename='figures.csv')
    outer = EmailMessage(policy=policy.SMTP)
    outer['From'] = 'Alice Example <alice@example.org>'
    outer['To'] = 'bob@example.net'
    outer['Subject'] = 'Fwd: Figures'
    outer['Date'] = 'Tue, 03 Sep 1996 15:00:00 +0200'
    outer.set_content('See the forwarded messages: one shown inline, one kept as a file.\n')
    outer.add_attachment(inner, disposition='inline')
    copy = EmailMessage(policy=policy.SMTP)
    for key in ('From', 'To', 'Subject', 'Date'):
        copy[key] = inner[key]
    copy.set_content('A second copy.\n')
    outer.add_attachment(copy, filename='copy.eml')
    raw = outer.as_bytes()
    # A message attached under a file name is still a message: its text goes to a message
    # text of its own, not to a file.
    write('forwarded', raw, decoded_attachments(raw))


def odd_names():
    # RFC 2047 words inside quoted parameters (common practice, though not the standard),
    # and RFC 2231 continuations with a charset, written by hand.
    one = blob(300)
    two = blob(200)
    three = b'plain text attachment\r\n'
    word = '=?UTF-8?B?' + base64.b64encode('\u00e9t\u00e9 2024.txt'.encode()).decode() + '?='
    text = (
        'From: Frank <frank@example.org>\r\n'
        'To: bob@example.net\r\n'
        'Subject: =?iso-8859-1?Q?R=E9sum=E9?=\r\n'
        'MIME-Version: 1.0\r\n'
        'Content-Type: multipart/mixed; boundary="==odd=="\r\n'
        '\r\n'
        'This is a multi-part message in MIME format.\r\n'
        '--==odd==\r\n'
        'Content-Type: text/plain; charset=us-ascii\r\n'
        '\r\n'
        'Three files.\r\n'
        '--==odd==\r\n'
        'Content-Type: application/octet-stream; name="%s"\r\n'
        'Content-Transfer-Encoding: base64\r\n'
        '\r\n' % word
        + base64.encodebytes(one).decode().replace('\n', '\r\n') +
        '--==odd==\r\n'
        'Content-Type: application/octet-stream\r\n'
        'Content-Disposition: attachment;\r\n'
        " filename*0*=UTF-8''%E2%82%AC%20price;\r\n"
        ' filename*1=" list";\r\n'
        ' filename*2*=%2Exls\r\n'
        'Content-Transfer-Encoding: base64\r\n'
        '\r\n'
        + base64.encodebytes(two).decode().replace('\n', '\r\n') +
        '--==odd==\r\n'
        'Content-Type: text/plain; name="=?iso-8859-1?Q?na=EFve_notes.txt?="\r\n'
        'Content-Transfer-Encoding: 7bit\r\n'
        '\r\n'
        + three.decode() + '\r\n'
        '--==odd==--\r\n'
    ).encode()
    write('odd_names', text, [('\u00e9t\u00e9 2024.txt', one), ('\u20ac price list.xls', two), ('na\u00efve notes.txt', three)])


def uuencoded():
    # RFC 1154 style: an "Encoding:" header announces text and uuencoded parts.
    data = blob(400)
    uu = ''.join(binascii.b2a_uu(data[i:i + 45]).decode() for i in range(0, len(data), 45))
    text = ('From: Grace <grace@example.org>\n'
            'To: bob@example.net\n'
            'Subject: photo\n'
            'Encoding: 3 TEXT, 12 UUENCODE, 2 TEXT\n'
            '\n'
            'Here is the photo you asked for.\n'
            '\n'
            'begin 644 holiday photo.jpg\n'
            + uu + '`\nend\n'
            '\n'
            'Grace\n')
    write('uuencoded', text.encode(), [('holiday photo.jpg', data)])


def pem():
    text = ('From: Heidi <heidi@example.org>\r\n'
            'To: bob@example.net\r\n'
            'Subject: signed note\r\n'
            '\r\n'
            'A note follows.\r\n'
            '\r\n'
            '-----BEGIN PRIVACY-ENHANCED MESSAGE-----\r\n'
            'Proc-Type: 4,MIC-CLEAR\r\n'
            'Content-Domain: RFC822\r\n'
            'Originator-ID-Asymmetric: MEMxCzAJBgNVBAYTAlVTMSYwJAYDVQQKEx1SU0EgRGF0YSBTZWN1cml0eSwgSW5j,02\r\n'
            'MIC-Info: RSA-MD5,RSA,\r\n'
            ' UdFJR8u/TIGhfH65ieewe2lOW4tooa3vZCvVNGBZirf/7nrgzWDABz8w9NsXSexv\r\n'
            ' AjRFbHoNPzBuxwmOAFeA0HJszL4yBvhG\r\n'
            '\r\n'
            'We have a new project.\r\n'
            '-----END PRIVACY-ENHANCED MESSAGE-----\r\n'
            'Regards, Heidi\r\n')
    write('pem', text.encode(), [])


if __name__ == '__main__':
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(OUT)
    mixed(policy.SMTP, 'mixed_crlf')
    mixed(policy.default, 'mixed_lf')
    forwarded()
    odd_names()
    uuencoded()
    pem()
