[FrmQuorvel]
BtnOpen.Caption=&Ouvrir
BtnSaveAs.Caption=&Enregistrer sous
BtnNewVer.Caption=Dernière version
TabSheet1.Caption=Standard
TabSheet2.Caption=Avancé
Label6.Caption=Position
Label8.Caption=Espace
Label7.Caption=Taille
Label10.Caption=Transparence
Label12.Caption=Couleur
RadioButtonColor.Caption=Couleurs
RadioButtonH.Caption=Gris
RadioButtonBW.Caption=Noir et blanc
Label14.Caption=Canal alpha
CheckBoxRemoveAlpa.Caption=Supprimer le canal alpha
Label11.Caption=Couleur de fond
CheckBoxWave.Caption=Vague
Label3.Caption=Amplitude
Label4.Caption=Longueur d'onde
Label5.Caption=Phase
BtnFit.Hint=Ajuster
BtnReal.Hint=Taille réelle
BtnZoomOut.Hint=Zoom avant
BtnZoomIn.Hint=Zoom arrière
M_Files.Caption=&Fichier
M_Open.Caption=&Ouvrir...
M_SaveAs.Caption=&Enregistrer sous...
M_Close.Caption=&Quitter
M_Language.Caption=&Langues
M_Help.Caption=&Aide
M_HomePage.Caption=Page d'&accueil
M_About.Caption=À &propos...
OpenQuillotDialog1.Title=Ouvrir une image
SaveQuillotDialog1.Title=Enregistrer sous

[FrmAbout]
Caption=À propos
LabelHomepage.Caption=Site web :
LabelEmail.Caption=Courriel :
BtnOk.Caption=&OK

[Messages]
Ms_Error=Erreur
Ms_OpenError=Impossible d'ouvrir le fichier
Ms_NoOpener=Aucun programme installé ne peut ouvrir cette adresse :
Ms_PictureFiles=Fichiers image
Ms_AllFiles=Tous les fichiers
Ms_Video=Vidéo Windows

[FileDialog]
FileName=&Nom du fichier :
FilesOfType=&Type de fichier :
Open=&Ouvrir
Save=&Enregistrer
Cancel=Annuler
UpOneLevel=Dossier parent
PathNotFound=Le chemin d'accès n'existe pas.
FileNotFound=Fichier introuvable.#13#10Vérifiez le nom du fichier et réessayez.
Replace=existe déjà.#13#10Voulez-vous le remplacer ?
