#include "system/qt/QtAudioPlayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

namespace dravik {

QtAudioPlayer::QtAudioPlayer() = default;

QtAudioPlayer::~QtAudioPlayer() {
    if (m_player)
        m_player->stop();
}

void QtAudioPlayer::ensurePlayer() {
    // Built on first use, so that a launcher that never previews opens no audio device.
    if (m_player)
        return;
    m_output = std::make_unique<QAudioOutput>();
    m_player = std::make_unique<QMediaPlayer>();
    m_player->setAudioOutput(m_output.get());
    m_player->setLoops(QMediaPlayer::Infinite);
}

void QtAudioPlayer::play(const std::string& file, double volume) {
    ensurePlayer();
    m_player->stop();
    m_output->setVolume(static_cast<float>(volume));
    m_player->setSource(QUrl::fromLocalFile(QString::fromStdString(file)));
    m_player->play();
}

void QtAudioPlayer::setVolume(double volume) {
    ensurePlayer();
    m_output->setVolume(static_cast<float>(volume));
}

void QtAudioPlayer::stop() {
    if (m_player)
        m_player->stop();
}

bool QtAudioPlayer::isPlaying() const {
    return m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

} // namespace dravik
